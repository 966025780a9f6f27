#pragma once
// The report dialog in a helper process, for when the GUI thread cannot show it (frozen, or busy
// waiting): the program starts its own file again with HelperArgument, hands it the dialog's content
// over a socket on its standard input, and reads back the user's choices. The program's main() calls
// RunOstrelDialogHelper first thing, before it makes its application object.
#include "OBitmap.h"
#include "reporter/gui/ODialogContent.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace reporter {

inline constexpr const char* HelperArgument = "--ostrel-dialog-helper";

// What the helper does: show the report dialog, or the request for the steps that led to the error
// (which uses Content.Options and State alone), or take the screenshot from the display server (its own
// connection, not the program's GUI thread; marked as OProgramWindow.h says: the program's foreground
// window with SendFlags 0x20 in Content.Options, else the screen nearest to it), or show a message box
// (Message: the Box fields alone).
enum class THelperDialog : uint8_t { Report = 1, Reproduce = 2, Screenshot = 3, Message = 4 };

struct THelperRequest {
    THelperDialog Dialog = THelperDialog::Report;
    TReportDialogContent Content;
    TReportDialogState State;
    std::string LayoutFile;
    std::string BoxText;
    std::string BoxCaption;
    bool BoxError = false; // the error icon, else the information icon
};

struct THelperAnswer {
    bool Painted = false;
    TReportDialogState State;
    std::string ReproduceText; // the steps typed into the request dialog
    TRgbImage Screen;          // the screenshot, empty when none was asked or none could be taken
};

// The wire forms. Reading checks every length against what is left and raises EReadError on damage.
std::vector<uint8_t> EncodeHelperRequest(const THelperRequest& request);
THelperRequest DecodeHelperRequest(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> EncodeHelperAnswer(const THelperAnswer& answer);
THelperAnswer DecodeHelperAnswer(std::vector<uint8_t> bytes);

// Runs the dialog in a helper process (program: the program's own file when empty) and waits for it;
// none when the helper cannot be started or ends without an answer.
std::optional<THelperAnswer> ShowDialogInHelper(const THelperRequest& request,
                                                const std::string& program = std::string());

// Starts a dialog helper now, so that the next report or request dialog of that program comes without
// waiting for a new process; one that gets no dialog ends by itself after a while.
void PrepareDialogHelper(const std::string& program = std::string());

// Starts the program's file again (program: that file when empty) with argument as its only argument:
// the helper's standard input is its end of a new socket pair, whose other end is handed back in socket
// (the caller closes it). Nothing else of the program's stays open in the helper, and every signal is
// in its default state and unblocked there, whatever the starting thread had. The helper's process ID,
// or -1 when it could not be started.
pid_t StartHelperProcess(const std::string& program, const char* argument, int& socket);

// In a helper process (argv[1] is HelperArgument): reads the request, shows the dialog, answers, and
// returns the process's exit code (0 answered, 2 a damaged request, 3 no answer could be written). A
// clipboard keeper (OClipboardKeeper.h) and the send-progress window (OSendProgressHelper.h) are run here
// too. Returns -1 at once in any other process.
int RunOstrelDialogHelper(int& argc, char** argv);

} // namespace reporter
