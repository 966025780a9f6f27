#pragma once
// TWebBrowser: the document area of the About window. It shows a local HTML file and runs the three
// document commands: print (with or without the print dialog), print preview and page set-up. The page
// settings live in the browser's printer, so a page set-up holds for the next print and preview.
#include <QTextBrowser>
#include <memory>

class QPrinter;

class TWebBrowser : public QTextBrowser {
    Q_OBJECT

public:
    explicit TWebBrowser(QWidget* parent = nullptr);
    ~TWebBrowser() override;

    // Shows the file; a missing file shows an empty document.
    void Navigate(const QString& fileName);
    // The file shown ("" while the document is empty).
    QString LocationName() const { return m_location; }

    QPrinter& Printer();
    // Prints the document; with prompt the print dialog comes first and may cancel. False when nothing
    // was printed (cancelled, or the printer failed).
    bool Print(bool prompt);
    // The print preview window, drawing the document with the printer's page settings.
    void PrintPreview();
    // The page set-up dialog on the browser's printer.
    void PageSetup();

private:
    std::unique_ptr<QPrinter> m_printer;
    QString m_location;
};
