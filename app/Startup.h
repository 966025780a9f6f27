#pragma once
// The program's windows, created in the start-up order and freed together: the main window first (so
// it is the main form), then the settings dialog, the search dialog, the log and the send-progress
// dialog. The program-wide window variables point at them meanwhile.
class TProgramWindows {
public:
    TProgramWindows();
    ~TProgramWindows();
    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;
};

// The one font of every window, chosen before the first window exists (the windows' creation does it).
void ChooseProgramFont();

// The application's name and the icon every window carries.
void SetUpApplication();

// The whole program: application, translation, windows, splash, message loop. Without a reachable
// display it says so on standard error and returns 1 before the application object exists.
int RunProgram(int argc, char** argv);
