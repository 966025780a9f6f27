#include "inspector/RSTStringsEditor.h"
#include "classlib/Application.h"
#include "classlib/SysUtils.h"
#include "classlib/Translation.h"
#include "inspector/RSItemListEditor.h"
#include "inspector/RSItemProp.h"
#include "inspector/RSModalDialogs.h"
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTabBar>
#include <QTabWidget>
#include <QTextStream>
#include <QVBoxLayout>

namespace {

constexpr int kHelpContext = 26000;

// The stored filter of both file dialogs, "caption|patterns|..." pairs, as the dialog's name filters.
// Patterns are offered in both cases, file names being case-sensitive here.
QStringList NameFilters() {
    const QStringList parts =
        QStringLiteral("Text files (*.TXT)|*.TXT|Config files (*.SYS;*.INI)|*.SYS;*.INI|"
                       "Batch files (*.BAT)|*.BAT|All files (*.*)|*.*")
            .split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts.at(i + 1).split(QLatin1Char(';'))) {
            const QString pattern = p == QLatin1String("*.*") ? QStringLiteral("*") : p;
            patterns << pattern;
            if (pattern.toLower() != pattern)
                patterns << pattern.toLower();
        }
        QString caption = parts.at(i);
        caption = caption.left(caption.indexOf(QLatin1String(" (")));
        filters << caption + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QFileDialog* MakeFileDialog(QWidget* owner, const QString& title, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(owner, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setNameFilters(NameFilters());
    return dialog;
}

// A row's value as the grid shows it (trailing blanks are not part of it).
QString RowValue(TRSItemProp* row) {
    QString text = row->Values().Text();
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1).isSpace())
        --n;
    text.truncate(n);
    return text;
}

// Every row below a row, in tree order.
void AddDescendants(TRSItemProp* row, QStringList& lines) {
    if (!row->HasItems())
        return;
    for (int i = 0; i < row->Items()->Count(); ++i) {
        TRSItemProp* child = row->Items()->Items(i);
        lines << child->GetFullName() + QLatin1Char('=') + RowValue(child);
        AddDescendants(child, lines);
    }
}

} // namespace

TfrmRSStringsEditor::TfrmRSStringsEditor(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmRSStringsEditor"));
    setWindowTitle(_("String List Editor"));
    resize(430, 279);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(10);
    setFont(f);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 413, 229);
    lblLineCount = new QLabel(_("0 lines"), this);
    lblLineCount->setObjectName(QStringLiteral("lblLineCount"));
    lblLineCount->setGeometry(12, 12, 169, 17);

    pcViews = new QTabWidget(this);
    pcViews->setObjectName(QStringLiteral("pcViews"));
    pcViews->setGeometry(20, 33, 390, 195);
    tsMemo = new QWidget;
    tsMemo->setObjectName(QStringLiteral("tsMemo"));
    tsINI = new QWidget;
    tsINI->setObjectName(QStringLiteral("tsINI"));
    pcViews->addTab(tsMemo, _("&Memo"));
    pcViews->addTab(tsINI, _("&INI"));

    StringEditorMenu = new QMenu(this);
    StringEditorMenu->setObjectName(QStringLiteral("StringEditorMenu"));
    connect(StringEditorMenu->addAction(_("Load...")), &QAction::triggered, this, [this] {
        try {
            LoadClick();
        } catch (const Exception&) {
            HandleException(this);
        }
    });
    connect(StringEditorMenu->addAction(_("Save...")), &QAction::triggered, this, [this] {
        try {
            SaveClick();
        } catch (const Exception&) {
            HandleException(this);
        }
    });

    Memo1 = new QPlainTextEdit(tsMemo);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { StringEditorMenu->popup(Memo1->mapToGlobal(p)); });
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] { Memo1Change(); });
    Memo1->installEventFilter(this);
    auto* memoLayout = new QVBoxLayout(tsMemo);
    memoLayout->setContentsMargins(0, 0, 0, 0);
    memoLayout->addWidget(Memo1);

    Grid = new TRSItemListEditor(tsINI);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->SetPropertyOptions(propEdit | propAdd | propDelete);
    Grid->SetCurValue(0);
    Grid->SetOptions(Grid->Options() | goTabs);
    Grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { StringEditorMenu->popup(Grid->mapToGlobal(p)); });
    auto* gridLayout = new QVBoxLayout(tsINI);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(Grid);

    btnOK = new QPushButton(_("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setGeometry(186, 246, 75, 25);
    connect(btnOK, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    btnCancel = new QPushButton(_("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(266, 246, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
    btnHelp = new QPushButton(_("&Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setGeometry(346, 246, 75, 25);
    connect(btnHelp, &QPushButton::clicked, this, [] { ShowHelpContext(kHelpContext); });

    OpenDialog1 = MakeFileDialog(this, _("Load string list"), QFileDialog::AcceptOpen);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setDefaultSuffix(QStringLiteral("TXT"));
    SaveDialog1 = MakeFileDialog(this, _("Save string list"), QFileDialog::AcceptSave);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, false);

    m_lastPage = tsMemo;
    connect(pcViews, &QTabWidget::currentChanged, this, [this](int index) { PageChanged(index); });
    Memo1Change();
}

TfrmRSStringsEditor::~TfrmRSStringsEditor() = default;

QStringList TfrmRSStringsEditor::Lines() const {
    const QString text = Memo1->toPlainText();
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    return lines;
}

void TfrmRSStringsEditor::SetMemoLines(const QStringList& lines) {
    // A last line that is empty needs the line break after it, or Lines would not see it.
    QString text = lines.join(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        text += QLatin1Char('\n');
    Memo1->setPlainText(text);
}

void TfrmRSStringsEditor::SetLines(const QStringList& value) {
    SetMemoLines(value);
    FillGrid(value);
}

void TfrmRSStringsEditor::FillGrid(const QStringList& lines) {
    TRSItemProps* items = Grid->Items();
    m_iniLines.clear();
    items->BeginUpdate();
    try {
        items->Clear();
        for (const QString& line : lines) {
            TIniLine entry;
            entry.text = line;
            if (!line.trimmed().isEmpty()) {
                // The name is taken as it stands, delimiter and all: "a.b=1" is one row, not a path.
                const qsizetype eq = line.indexOf(QLatin1Char('='));
                entry.hasEquals = eq >= 0;
                TRSItemProp* row = items->Add();
                row->SetName(eq < 0 ? line : line.left(eq));
                row->Values().SetText(eq < 0 ? QString() : line.mid(eq + 1));
                entry.row = row;
                entry.shown = true;
                entry.name = row->Name();
                entry.value = RowValue(row);
            }
            m_iniLines.push_back(entry);
        }
    } catch (...) {
        items->EndUpdate();
        throw;
    }
    items->EndUpdate();
}

QStringList TfrmRSStringsEditor::GridLines() const {
    QHash<const TRSItemProp*, std::size_t> lineOfRow;
    for (std::size_t i = 0; i < m_iniLines.size(); ++i)
        if (m_iniLines[i].row)
            lineOfRow.insert(m_iniLines[i].row.data(), i);
    QStringList lines;
    std::size_t next = 0; // the first line not yet placed
    auto placeBlankLinesBefore = [&](std::size_t end) {
        for (; next < end; ++next)
            if (!m_iniLines[next].shown)
                lines << m_iniLines[next].text;
    };
    TRSItemProps* items = Grid->Items();
    for (int i = 0; i < items->Count(); ++i) {
        TRSItemProp* row = items->Items(i);
        const QString value = RowValue(row);
        const auto found = lineOfRow.constFind(row);
        if (found == lineOfRow.constEnd()) {
            // A row the user added goes where it stands among the rows, after the blank lines that lie
            // before the next row that was there.
            std::size_t nextKnown = m_iniLines.size();
            for (int j = i + 1; j < items->Count(); ++j)
                if (const auto known = lineOfRow.constFind(items->Items(j)); known != lineOfRow.constEnd()) {
                    nextKnown = *known;
                    break;
                }
            placeBlankLinesBefore(nextKnown);
            lines << row->GetFullName() + QLatin1Char('=') + value;
        } else {
            const TIniLine& line = m_iniLines[*found];
            placeBlankLinesBefore(*found);
            next = std::max(next, *found + 1);
            if (row->Name() == line.name && value == line.value)
                lines << line.text; // untouched: exactly as it was
            else
                lines << row->Name() +
                             (line.hasEquals || !value.isEmpty() ? QLatin1Char('=') + value : QString());
        }
        AddDescendants(row, lines);
    }
    placeBlankLinesBefore(m_iniLines.size());
    return lines;
}

void TfrmRSStringsEditor::Memo1Change() {
    const int count = int(Lines().size());
    lblLineCount->setText(QStringLiteral("%1 %2").arg(count).arg(count == 1 ? _("line") : _("lines")));
}

void TfrmRSStringsEditor::ShowPage(QWidget* page) {
    pcViews->setCurrentWidget(page);
    PageChanged(pcViews->currentIndex());
}

void TfrmRSStringsEditor::PageChanged(int index) {
    QWidget* page = pcViews->widget(index);
    if (page == m_lastPage)
        return;
    m_lastPage = page;
    if (page == tsMemo) {
        Grid->CloseEditor();
        SetLines(GridLines());
    } else if (page == tsINI) {
        FillGrid(Lines());
    }
}

void TfrmRSStringsEditor::done(int result) {
    if (pcViews->currentWidget() == tsINI) {
        Grid->CloseEditor();
        SetLines(GridLines());
    }
    QDialog::done(result);
}

bool TfrmRSStringsEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        btnCancel->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmRSStringsEditor::SetMemoVisible(bool value) {
    if (value == m_memoVisible)
        return;
    m_memoVisible = value;
    UpdateTabs(tsMemo);
}

void TfrmRSStringsEditor::SetINIVisible(bool value) {
    if (value == m_iniVisible)
        return;
    m_iniVisible = value;
    UpdateTabs(tsINI);
}

void TfrmRSStringsEditor::UpdateTabs(QWidget* changedPage) {
    const bool visible = changedPage == tsMemo ? m_memoVisible : m_iniVisible;
    pcViews->setTabVisible(pcViews->indexOf(changedPage), visible);
    if (m_memoVisible != m_iniVisible) {
        // One view only: no tabs at all, that view shown and focused.
        pcViews->setTabVisible(pcViews->indexOf(tsMemo), false);
        pcViews->setTabVisible(pcViews->indexOf(tsINI), false);
        pcViews->tabBar()->hide();
        ShowPage(m_memoVisible ? tsMemo : tsINI);
        if (m_memoVisible)
            Memo1->setFocus();
        else
            Grid->setFocus();
    } else {
        pcViews->tabBar()->show();
        pcViews->setTabVisible(pcViews->indexOf(tsMemo), m_memoVisible);
        pcViews->setTabVisible(pcViews->indexOf(tsINI), m_iniVisible);
    }
}

bool TfrmRSStringsEditor::LoadClick() {
    if (ExecuteModal(OpenDialog1) != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return false;
    const QString name = OpenDialog1->selectedFiles().constFirst();
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Exception(_("Cannot open file \"%1\". %2").arg(name, file.errorString()));
    QTextStream in(&file);
    QStringList lines;
    while (!in.atEnd())
        lines << in.readLine();
    if (file.error() != QFile::NoError)
        throw Exception(_("Cannot read file \"%1\". %2").arg(name, file.errorString()));
    SetLines(lines);
    if (pcViews->currentWidget() == tsINI)
        m_lastPage = tsINI;
    return true;
}

bool TfrmRSStringsEditor::SaveClick() {
    if (!OpenDialog1->selectedFiles().isEmpty())
        SaveDialog1->selectFile(OpenDialog1->selectedFiles().constFirst());
    if (ExecuteModal(SaveDialog1) != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty())
        return false;
    if (pcViews->currentWidget() == tsINI)
        SetLines(GridLines());
    const QString name = SaveDialog1->selectedFiles().constFirst();
    // A new file renamed over the old one: a failed save leaves the old file whole.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw Exception(_("Cannot create file \"%1\". %2").arg(name, file.errorString()));
    QTextStream out(&file);
    for (const QString& line : Lines())
        out << line << '\n';
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit())
        throw Exception(_("Cannot write file \"%1\". %2").arg(name, file.errorString()));
    return true;
}
