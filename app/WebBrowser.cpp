#include "app/WebBrowser.h"
#include "classlib/RegularFile.h"
#include "classlib/Translation.h"
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QUrl>

namespace {

// Page set-up for a printer that the system's page set-up dialog does not serve (with no printer
// installed the printer writes PDF files): paper size, orientation and margins.
class TPageSetupDialog : public QDialog {
public:
    TPageSetupDialog(QPrinter& printer, QWidget* parent) : QDialog(parent), m_printer(printer) {
        setObjectName(QStringLiteral("PageSetupDialog"));
        setWindowTitle(_("Page Setup"));
        const QPageLayout layout = printer.pageLayout();
        for (const QPageSize::PageSizeId id :
             {QPageSize::A4, QPageSize::Letter, QPageSize::Legal, QPageSize::A3, QPageSize::A5}) {
            m_size.addItem(QPageSize::name(id), int(id));
            if (layout.pageSize().id() == id)
                m_size.setCurrentIndex(m_size.count() - 1);
        }
        m_size.setObjectName(QStringLiteral("cbPaper"));
        m_orientation.setObjectName(QStringLiteral("cbOrientation"));
        m_orientation.addItem(_("Portrait"), int(QPageLayout::Portrait));
        m_orientation.addItem(_("Landscape"), int(QPageLayout::Landscape));
        m_orientation.setCurrentIndex(layout.orientation() == QPageLayout::Landscape ? 1 : 0);
        m_margin.setObjectName(QStringLiteral("seMargin"));
        m_margin.setRange(0, 50);
        m_margin.setSuffix(QStringLiteral(" mm"));
        m_margin.setValue(layout.margins(QPageLayout::Millimeter).left());
        auto* form = new QFormLayout(this);
        form->addRow(_("Paper"), &m_size);
        form->addRow(_("Orientation"), &m_orientation);
        form->addRow(_("Margins"), &m_margin);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        form->addRow(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }

    void accept() override {
        const double margin = m_margin.value();
        const QPageLayout layout(QPageSize(QPageSize::PageSizeId(m_size.currentData().toInt())),
                                 QPageLayout::Orientation(m_orientation.currentData().toInt()),
                                 QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
        m_printer.setPageLayout(layout);
        QDialog::accept();
    }

private:
    QPrinter& m_printer;
    QComboBox m_size;
    QComboBox m_orientation;
    QDoubleSpinBox m_margin;
};

} // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
}

TWebBrowser::~TWebBrowser() = default;

void TWebBrowser::Navigate(const QString& fileName) {
    const QFileInfo file(fileName);
    // Looked at without blocking first: the text browser's own reading would wait on a FIFO.
    if (!file.exists() || !IsReadableRegularFile(fileName)) {
        m_location.clear();
        setSource(QUrl());
        clear();
        return;
    }
    m_location = file.absoluteFilePath();
    setSource(QUrl::fromLocalFile(m_location));
}

QPrinter& TWebBrowser::Printer() {
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

bool TWebBrowser::Print(bool prompt) {
    QPrinter& printer = Printer();
    if (prompt) {
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() != QDialog::Accepted)
            return false;
    }
    document()->print(&printer);
    return printer.printerState() != QPrinter::Error;
}

void TWebBrowser::PrintPreview() {
    QPrintPreviewDialog preview(&Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { document()->print(printer); });
    preview.exec();
}

void TWebBrowser::PageSetup() {
    QPrinter& printer = Printer();
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        QPageSetupDialog dialog(&printer, this);
        dialog.exec();
    } else {
        TPageSetupDialog dialog(printer, this);
        dialog.exec();
    }
}
