#pragma once
// TFormAbout: the About window. A general page (name, version, the maker's web address), a page with
// the general terms in the chosen language (printed, previewed and set up through the print dialogs),
// and a technical page with the version, the program file's date and a grid of the program's files.
#include <QColor>
#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TFormAbout;
}
class QPainter;
class QRect;
class TCustomDrawGrid;

class TFormAbout : public QDialog {
    Q_OBJECT

public:
    // The maker's web address shown by the link.
    static constexpr const char* WebAddress = "http://www.korvanedevavuru.example/";
    // The documents: <ProgramFolder>docs/GeneralTerms_<code>.htm.
    static constexpr const char* DocumentFolder = "docs/";
    static constexpr const char* DocumentBaseName = "GeneralTerms_";
    // The run-time library expected beside the program, listed in the grid.
    static constexpr const char* CompanionLibrary = "libvexadaxort.so";
    // Fill colour of the grid's first data row ($FFECEC).
    static QColor ProgramRowColour() { return QColor(236, 236, 255); }

    explicit TFormAbout(QWidget* parent = nullptr);
    ~TFormAbout() override;

    Ui::TFormAbout& ui() { return *m_ui; }

    // The language code of a selector index: 1 por, 2 chi, 3 ger, 4 spa, 5 fre, 6 ita, else eng.
    static QString LanguageCode(int index);
    // The full path of the document for a language code.
    static QString DocumentPath(const QString& code);
    // The tools started by System Info, in the order tried.
    static QStringList SystemInfoTools();

    void btCloseClick();
    void btSystemInfoClick();
    void lbLinkClick();
    void cbGeneralTermsChange();
    void btPrinterGeneralClick();
    void btPreviewGeneralClick();
    void btSetupGeneralClick();
    void sgVexaDaxoSoftDrawCell(TCustomDrawGrid* Sender, int ACol, int ARow, const QRect& Rect,
                                QPainter& Canvas);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FillGrid();
    // The version labels and the grid's header row in the language in use.
    void SetLanguageTexts();

    std::unique_ptr<Ui::TFormAbout> m_ui;
};
