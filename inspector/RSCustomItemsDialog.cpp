#include "inspector/RSCustomItemsDialog.h"
#include "classlib/Application.h"
#include "classlib/ListItems.h"
#include "classlib/SysUtils.h"
#include "classlib/Translation.h"
#include "classlib/TreeNodes.h"
#include "inspector/RSModalDialogs.h"
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextStream>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

[[noreturn]] void RaiseCannotAssign(const QObject* source, const QObject* dest) {
    throw EConvertError(
        QStringLiteral("Cannot assign a %1 to a %2")
            .arg(source ? QLatin1String(source->metaObject()->className()) : QLatin1String("nil"),
                 QLatin1String(dest->metaObject()->className())));
}

QList<TTreeNode*> TopNodes(TTreeNodes& nodes) {
    QList<TTreeNode*> list;
    QStandardItem* root = nodes.Model()->invisibleRootItem();
    for (int i = 0; i < root->rowCount(); ++i)
        list << static_cast<TTreeNode*>(root->child(i));
    return list;
}

void CopyNode(const TTreeNode* source, TTreeNodes& dest, TTreeNode* parent) {
    TTreeNode* node = dest.AddChildObject(parent, source->Text(), source->Data());
    node->SetImageIndex(source->ImageIndex());
    node->SetSelectedIndex(source->SelectedIndex());
    node->SetStateIndex(source->StateIndex());
    for (int i = 0; i < source->Count(); ++i)
        CopyNode(source->Item(i), dest, node);
}

} // namespace

void CopyTreeNodes(const TTreeNodes& source, TTreeNodes& dest) {
    dest.Clear();
    for (TTreeNode* node : TopNodes(const_cast<TTreeNodes&>(source)))
        CopyNode(node, dest, nullptr);
}

// ---- item copies -------------------------------------------------------------------------------------

TCustomNodeItem::TCustomNodeItem(QObject* source) {
    if (source)
        TCustomNodeItem::Assign(source);
}

void TCustomNodeItem::Assign(const QObject* source) {
    if (auto* item = qobject_cast<const TCustomNodeItem*>(source)) {
        m_caption = item->m_caption;
        m_imageIndex = item->m_imageIndex;
        m_stateIndex = item->m_stateIndex;
        m_customIndex = item->m_customIndex;
    } else if (auto* listItem = qobject_cast<const TListItem*>(source)) {
        m_caption = listItem->Caption();
        m_imageIndex = listItem->ImageIndex();
        m_stateIndex = listItem->StateIndex();
        m_customIndex = listItem->OverlayIndex();
    } else {
        RaiseCannotAssign(source, this);
    }
}

void TCustomNodeItem::AssignTo(TListItem* dest) const {
    dest->SetCaption(m_caption);
    dest->SetImageIndex(m_imageIndex);
    dest->SetStateIndex(m_stateIndex);
    dest->SetOverlayIndex(m_customIndex);
}

void TCustomNodeItem::AssignNode(const TTreeNode* source) {
    m_caption = source->Text();
    m_imageIndex = source->ImageIndex();
    m_stateIndex = source->StateIndex();
    m_customIndex = source->SelectedIndex();
}

void TCustomNodeItem::AssignToNode(TTreeNode* dest) const {
    dest->SetText(m_caption);
    dest->SetImageIndex(m_imageIndex);
    dest->SetStateIndex(m_stateIndex);
    dest->SetSelectedIndex(m_customIndex);
}

TNodeListItem::TNodeListItem(QObject* source) : m_subItems(std::make_unique<TStringList>()) {
    m_subItems->OnChange = [this](TStrings*) { SubItemsChanged(); };
    if (source)
        TNodeListItem::Assign(source);
}

void TNodeListItem::SubItemsChanged() {
    const int count = m_subItems->Count();
    while (m_subItemImages.size() < count)
        m_subItemImages.append(-1);
    m_subItemImages.resize(count);
}

void TNodeListItem::SetSubItemImage(int index, int value) {
    if (index < 0 || index >= m_subItemImages.size())
        RaiseListIndexError(index);
    m_subItemImages[index] = value;
}

void TNodeListItem::DeleteSubItem(int index) {
    if (index < 0 || index >= m_subItems->Count())
        RaiseListIndexError(index);
    m_subItemImages.removeAt(index);
    m_subItems->Delete(index);
}

void TNodeListItem::Assign(const QObject* source) {
    if (auto* item = qobject_cast<const TNodeListItem*>(source)) {
        m_subItems->SetLines(item->m_subItems->Lines());
        m_subItemImages = item->m_subItemImages;
    } else if (auto* listItem = qobject_cast<const TListItem*>(source)) {
        m_subItems->SetLines(listItem->SubItems()->Lines());
        for (int i = 0; i < m_subItems->Count(); ++i)
            m_subItemImages[i] = listItem->SubItemImages(i);
    }
    TCustomNodeItem::Assign(source);
}

void TNodeListItem::AssignTo(TListItem* dest) const {
    dest->SubItems()->SetLines(m_subItems->Lines());
    for (int i = 0; i < m_subItemImages.size(); ++i)
        dest->SetSubItemImages(i, m_subItemImages.at(i));
    TCustomNodeItem::AssignTo(dest);
}

// ---- the common form ---------------------------------------------------------------------------------

TfrmCustomItemsDlg::TfrmCustomItemsDlg(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmCustomItemsDlg"));
    setWindowTitle(_("TreeView Nodes Editor"));
    resize(494, 281);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(10);
    setFont(f);
    m_nodes = new TTreeNodes(this);

    actNewItem = new QAction(_("&New Item"), this);
    actNewSubitem = new QAction(_("N&ew Subitem"), this);
    actDeleteItem = new QAction(_("&Delete"), this);
    actApply = new QAction(_("&Apply"), this);
    actLoad = new QAction(_("&Load..."), this);
    actShowImages = new QAction(_("Sho&w Images"), this);
    actShowImages->setCheckable(true);
    actShowImages->setChecked(true);
    actShowImages->setVisible(false);
    auto guarded = [this](auto f) {
        return [this, f] {
            try {
                f();
            } catch (...) {
                HandleException(this);
            }
        };
    };
    connect(actNewItem, &QAction::triggered, this, guarded([this] { NewItem(); }));
    connect(actNewSubitem, &QAction::triggered, this, guarded([this] { NewSubitem(); }));
    connect(actDeleteItem, &QAction::triggered, this, guarded([this] { DeleteItem(); }));
    connect(actApply, &QAction::triggered, this, guarded([this] { Apply(); }));
    connect(actLoad, &QAction::triggered, this, guarded([this] { LoadFromFile(); }));
    connect(actShowImages, &QAction::toggled, this, [this](bool) { RefreshImages(); });

    gbItems = new QGroupBox(_("Items"), this);
    gbItems->setObjectName(QStringLiteral("gbItems"));
    TreeView1 = new QTreeView(gbItems);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setModel(m_nodes->Model());
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(19);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* buttons = new QVBoxLayout;
    for (QAction* a : {actNewItem, actNewSubitem, actDeleteItem, actLoad}) {
        auto* b = new QPushButton(a->text(), gbItems);
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto* itemsLayout = new QHBoxLayout(gbItems);
    itemsLayout->addWidget(TreeView1, 1);
    itemsLayout->addLayout(buttons);

    gbItemProperties = new QGroupBox(_("Item Properties"), this);
    gbItemProperties->setObjectName(QStringLiteral("gbItemProperties"));
    leCaption = new QLineEdit(gbItemProperties);
    leCaption->setObjectName(QStringLiteral("leCaption"));
    auto makeCombo = [this](const char* name) {
        auto* c = new QComboBox(gbItemProperties);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setMaximumHeight(25);
        connect(c, &QComboBox::editTextChanged, this, [this] {
            if (!m_showing)
                SetModified(true);
        });
        connect(c, &QComboBox::activated, this, [this, c] {
            if (!m_showing)
                StoreIndex(c);
        });
        connect(c->lineEdit(), &QLineEdit::editingFinished, this, [this, c] {
            if (!m_showing)
                StoreIndex(c);
        });
        return c;
    };
    cbeImageIndex = makeCombo("cbeImageIndex");
    cbeStateIndex = makeCombo("cbeStateIndex");
    cbeCustomIndex = makeCombo("cbeCustomIndex");
    auto* form = new QFormLayout(gbItemProperties);
    form->addRow(_("&Caption"), leCaption);
    form->addRow(_("&Image Index"), cbeImageIndex);
    form->addRow(_("&State Index"), cbeStateIndex);
    form->addRow(_("&Overlay Index"), cbeCustomIndex);
    gbItemProperties->setEnabled(false);
    connect(leCaption, &QLineEdit::textEdited, this, [this] {
        if (!m_showing) {
            SetModified(true);
            CaptionChanged();
        }
    });
    connect(leCaption, &QLineEdit::editingFinished, this, [this] {
        if (!m_showing)
            CaptionChanged();
    });

    OKBtn = new QPushButton(_("&OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    CancelBtn = new QPushButton(_("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
    ApplyBtn = new QPushButton(actApply->text(), this);
    ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
    connect(ApplyBtn, &QPushButton::clicked, actApply, &QAction::trigger);
    connect(actApply, &QAction::changed, ApplyBtn, [this] { ApplyBtn->setEnabled(actApply->isEnabled()); });

    auto* top = new QHBoxLayout;
    top->addWidget(gbItems, 3);
    top->addWidget(gbItemProperties, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(OKBtn);
    bottom->addWidget(CancelBtn);
    bottom->addWidget(ApplyBtn);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top, 1);
    main->addLayout(bottom);

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilters({_("All Files(*)")});

    connect(TreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                try {
                    CommitEdits();
                } catch (...) {
                    HandleException(this);
                }
                ShowItem(m_nodes->NodeFromIndex(current));
                UpdateActions();
            });
    connect(m_nodes->Model(), &QStandardItemModel::itemChanged, this, [this](QStandardItem* item) {
        if (!m_showing)
            NodeEdited(static_cast<TTreeNode*>(item));
    });
    RefreshImages();
    UpdateActions();
}

TfrmCustomItemsDlg::~TfrmCustomItemsDlg() = default;

TTreeNode* TfrmCustomItemsDlg::Selected() const {
    return m_nodes->NodeFromIndex(TreeView1->currentIndex());
}

void TfrmCustomItemsDlg::SetSelected(TTreeNode* node) {
    if (node)
        TreeView1->setCurrentIndex(node->index());
    else {
        CommitEdits();
        TreeView1->setCurrentIndex(QModelIndex());
    }
}

void TfrmCustomItemsDlg::SetModified(bool value) {
    m_modified = value;
    UpdateActions();
}

void TfrmCustomItemsDlg::UpdateActions() {
    const bool selected = Selected() != nullptr;
    actNewSubitem->setEnabled(selected);
    actDeleteItem->setEnabled(selected);
    actApply->setEnabled(m_modified);
}

void TfrmCustomItemsDlg::SetImages(const QList<QIcon>& value) {
    m_images = value;
    RefreshImages();
}

void TfrmCustomItemsDlg::SetStateImages(const QList<QIcon>& value) {
    m_stateImages = value;
    RefreshImages();
}

void TfrmCustomItemsDlg::FillCombo(QComboBox* combo, const QList<QIcon>& images) {
    const bool wasShowing = m_showing;
    m_showing = true;
    const QString text = combo->currentText();
    combo->clear();
    const bool show = actShowImages->isChecked();
    for (int i = 0; i < images.size(); ++i)
        combo->addItem(show ? images.at(i) : QIcon(), QString::number(i));
    if (images.isEmpty())
        combo->setFixedHeight(25);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
    m_showing = wasShowing;
}

void TfrmCustomItemsDlg::RefreshImages() {
    FillCombo(cbeImageIndex, m_images);
    FillCombo(cbeStateIndex, m_stateImages);
    FillCombo(cbeCustomIndex, m_images);
}

TCustomNodeItem* TfrmCustomItemsDlg::ItemOf(const TTreeNode* node) const {
    return node ? qobject_cast<TCustomNodeItem*>(node->Data()) : nullptr;
}

TCustomNodeItem* TfrmCustomItemsDlg::NewCopy() {
    if (!ItemClass)
        return nullptr;
    QObject* obj = ItemClass->newInstance(Q_ARG(QObject*, nullptr));
    auto* copy = qobject_cast<TCustomNodeItem*>(obj);
    if (!copy) {
        delete obj;
        throw EInvalidOperation(
            QStringLiteral("Cannot create an item of class %1").arg(QLatin1String(ItemClass->className())));
    }
    copy->setParent(this);
    return copy;
}

void TfrmCustomItemsDlg::FreeCopies(TTreeNode* node) {
    if (!node)
        return;
    for (int i = 0; i < node->Count(); ++i)
        FreeCopies(node->Item(i));
    if (TCustomNodeItem* copy = ItemOf(node)) {
        node->SetData(nullptr);
        delete copy;
    }
}

void TfrmCustomItemsDlg::ShowIndex(QComboBox* combo, int value) {
    combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
    combo->setEditText(QString::number(value));
}

int TfrmCustomItemsDlg::ComboValue(const QComboBox* combo) {
    bool ok = false;
    const int value = combo->currentText().trimmed().toInt(&ok);
    return ok ? value : -1;
}

void TfrmCustomItemsDlg::ShowItem(TTreeNode* node) {
    m_showing = true;
    m_shown = node;
    if (node) {
        gbItemProperties->setEnabled(true);
        for (QComboBox* c : {cbeStateIndex, cbeCustomIndex})
            c->setEnabled(true);
        if (TCustomNodeItem* copy = ItemOf(node); ItemClass && copy) {
            leCaption->setText(copy->Caption());
            ShowIndex(cbeImageIndex, copy->ImageIndex());
            ShowIndex(cbeStateIndex, copy->StateIndex());
            ShowIndex(cbeCustomIndex, copy->CustomIndex());
        } else {
            leCaption->setText(node->Text());
            ShowIndex(cbeImageIndex, node->ImageIndex());
            ShowIndex(cbeStateIndex, node->StateIndex());
            ShowIndex(cbeCustomIndex, node->SelectedIndex());
        }
    } else {
        leCaption->clear();
        for (QComboBox* c : {cbeImageIndex, cbeStateIndex, cbeCustomIndex}) {
            c->setCurrentIndex(-1);
            c->setEditText(QString());
        }
        gbItemProperties->setEnabled(false);
    }
    m_showing = false;
}

void TfrmCustomItemsDlg::StoreIndex(QComboBox* combo) {
    TTreeNode* node = m_shown;
    if (!node || combo->currentText().trimmed().isEmpty())
        return;
    const int value = ComboValue(combo);
    if (TCustomNodeItem* copy = ItemOf(node); ItemClass) {
        if (!copy)
            return;
        if (combo == cbeImageIndex)
            copy->SetImageIndex(value);
        else if (combo == cbeStateIndex)
            copy->SetStateIndex(value);
        else if (combo == cbeCustomIndex)
            copy->SetCustomIndex(value);
    } else {
        if (combo == cbeImageIndex)
            node->SetImageIndex(value);
        else if (combo == cbeStateIndex)
            node->SetStateIndex(value);
        else if (combo == cbeCustomIndex)
            node->SetSelectedIndex(value);
    }
}

void TfrmCustomItemsDlg::CaptionChanged() {
    TTreeNode* node = m_shown;
    if (!node)
        return;
    const QString caption = leCaption->text();
    if (ItemClass) {
        if (TCustomNodeItem* copy = ItemOf(node))
            copy->SetCaption(caption);
        else if (auto* owner = qobject_cast<TNodeListItem*>(ItemOf(node->Parent())))
            if (node->Index() < owner->SubItems()->Count())
                owner->SubItems()->Put(node->Index(), caption);
    }
    if (node->Text() != caption) {
        m_showing = true;
        node->SetText(caption);
        m_showing = false;
    }
}

void TfrmCustomItemsDlg::NodeEdited(TTreeNode* node) {
    if (!node)
        return;
    if (node == m_shown) {
        m_showing = true;
        leCaption->setText(node->Text());
        m_showing = false;
        CaptionChanged();
    } else if (ItemClass) {
        if (TCustomNodeItem* copy = ItemOf(node))
            copy->SetCaption(node->Text());
        else if (auto* owner = qobject_cast<TNodeListItem*>(ItemOf(node->Parent())))
            if (node->Index() < owner->SubItems()->Count())
                owner->SubItems()->Put(node->Index(), node->Text());
    }
    SetModified(true);
}

void TfrmCustomItemsDlg::CommitEdits() {
    if (!m_shown)
        return;
    CaptionChanged();
    for (QComboBox* c : {cbeImageIndex, cbeStateIndex, cbeCustomIndex})
        if (c->isEnabled())
            StoreIndex(c);
}

void TfrmCustomItemsDlg::NewItem() {
    TTreeNode* selected = Selected();
    TTreeNode* node = m_nodes->AddChildObject(selected ? selected->Parent() : nullptr, QString(), NewCopy());
    SetSelected(node);
    SetModified(true);
}

void TfrmCustomItemsDlg::NewSubitem() {
    TTreeNode* selected = Selected();
    if (!selected)
        return;
    TTreeNode* node = m_nodes->AddChildObject(selected, QString(), NewCopy());
    TreeView1->expand(selected->index());
    SetSelected(node);
    SetModified(true);
}

void TfrmCustomItemsDlg::DeleteItem() {
    TTreeNode* node = Selected();
    if (!node)
        return;
    // The node that follows takes the selection: the next sibling, else the one before, else the parent.
    QStandardItem* parent = node->parent() ? node->parent() : m_nodes->Model()->invisibleRootItem();
    const int row = node->Index();
    m_shown = nullptr;
    FreeCopies(node);
    node->Delete();
    TTreeNode* next = nullptr;
    if (row < parent->rowCount())
        next = static_cast<TTreeNode*>(parent->child(row));
    else if (row > 0)
        next = static_cast<TTreeNode*>(parent->child(row - 1));
    else if (parent != m_nodes->Model()->invisibleRootItem())
        next = static_cast<TTreeNode*>(parent);
    TreeView1->setCurrentIndex(next ? next->index() : QModelIndex());
    ShowItem(next);
    SetModified(true);
}

void TfrmCustomItemsDlg::LoadLines(const QStringList& lines) {
    for (TTreeNode* node : TopNodes(*m_nodes))
        FreeCopies(node);
    m_shown = nullptr;
    TreeView1->setCurrentIndex(QModelIndex());
    m_nodes->Clear();
    QList<TTreeNode*> levels; // the last node of each level
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        int level = 0;
        while (level < line.size() && (line.at(level) == u'\t' || line.at(level) == u' '))
            ++level;
        level = std::min<int>(level, int(levels.size()));
        TTreeNode* parent = level > 0 ? levels.at(level - 1) : nullptr;
        TCustomNodeItem* copy = NewCopy();
        const QString text = line.trimmed();
        if (copy)
            copy->SetCaption(text);
        TTreeNode* node = m_nodes->AddChildObject(parent, text, copy);
        levels.resize(level);
        levels << node;
    }
}

bool TfrmCustomItemsDlg::LoadFromFile() {
    OpenDialog1->setWindowTitle(_("Open"));
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
    LoadLines(lines);
    TreeView1->setCurrentIndex(QModelIndex());
    ShowItem(nullptr);
    SetModified(true);
    return true;
}

void TfrmCustomItemsDlg::Apply() {
    CommitEdits();
    SetModified(false);
}

void TfrmCustomItemsDlg::done(int result) {
    if (result == QDialog::Accepted && m_modified) {
        try {
            Apply();
        } catch (...) {
            HandleException(this);
            return;
        }
    }
    QDialog::done(result);
}

// ---- tree nodes --------------------------------------------------------------------------------------

TfrmTTreeNodesDlg::TfrmTTreeNodesDlg(QWidget* owner) : TfrmCustomItemsDlg(owner) {
    setObjectName(QStringLiteral("frmTTreeNodesDlg"));
    setWindowTitle(_("TreeView Items Editor"));
    if (auto* form = qobject_cast<QFormLayout*>(gbItemProperties->layout()))
        if (auto* label = qobject_cast<QLabel*>(form->labelForField(cbeCustomIndex)))
            label->setText(_("Selected I&ndex"));
}

void TfrmTTreeNodesDlg::SetTarget(TTreeNodes* value) {
    m_target = value;
    m_shown = nullptr;
    TreeView1->setCurrentIndex(QModelIndex());
    if (value)
        CopyTreeNodes(*value, *Nodes());
    else
        Nodes()->Clear();
    ShowItem(nullptr);
    SetModified(false);
}

void TfrmTTreeNodesDlg::Apply() {
    TfrmCustomItemsDlg::Apply();
    if (m_target)
        CopyTreeNodes(*Nodes(), *m_target);
}

// ---- list items --------------------------------------------------------------------------------------

TfrmTListItemsDlg::TfrmTListItemsDlg(QWidget* owner) : TfrmCustomItemsDlg(owner) {
    setObjectName(QStringLiteral("frmTListItemsDlg"));
    setWindowTitle(_("ListView Items Editor"));
    ItemClass = &TNodeListItem::staticMetaObject;
}

bool TfrmTListItemsDlg::IsSubNode(const TTreeNode* node) {
    return node && node->Parent() && !node->Parent()->Parent();
}

void TfrmTListItemsDlg::SetTarget(TListItems* value) {
    m_target = value;
    m_shown = nullptr;
    TreeView1->setCurrentIndex(QModelIndex());
    for (TTreeNode* node : TopNodes(*Nodes()))
        FreeCopies(node);
    Nodes()->Clear();
    if (value)
        for (int i = 0; i < value->Count(); ++i) {
            TListItem* item = value->Item(i);
            auto* copy = static_cast<TNodeListItem*>(NewCopy());
            copy->Assign(item);
            TTreeNode* node = Nodes()->AddChildObject(nullptr, item->Caption(), copy);
            for (const QString& sub : item->SubItems()->Lines())
                Nodes()->AddChild(node, sub);
        }
    ShowItem(nullptr);
    SetModified(false);
}

void TfrmTListItemsDlg::ShowItem(TTreeNode* node) {
    if (!IsSubNode(node)) {
        TfrmCustomItemsDlg::ShowItem(node);
        return;
    }
    m_showing = true;
    m_shown = node;
    gbItemProperties->setEnabled(true);
    leCaption->setText(node->Text());
    auto* owner = qobject_cast<TNodeListItem*>(ItemOf(node->Parent()));
    ShowIndex(cbeImageIndex, owner ? owner->SubItemImages().value(node->Index(), -1) : -1);
    for (QComboBox* c : {cbeStateIndex, cbeCustomIndex}) {
        c->setCurrentIndex(-1);
        c->setEditText(QString());
        c->setEnabled(false);
    }
    m_showing = false;
}

void TfrmTListItemsDlg::StoreIndex(QComboBox* combo) {
    TTreeNode* node = m_shown;
    if (!IsSubNode(node)) {
        TfrmCustomItemsDlg::StoreIndex(combo);
        return;
    }
    if (combo != cbeImageIndex || combo->currentText().trimmed().isEmpty())
        return;
    if (auto* owner = qobject_cast<TNodeListItem*>(ItemOf(node->Parent())))
        if (node->Index() < owner->SubItems()->Count())
            owner->SetSubItemImage(node->Index(), ComboValue(combo));
}

void TfrmTListItemsDlg::CommitEdits() {
    TfrmCustomItemsDlg::CommitEdits();
}

void TfrmTListItemsDlg::NewItem() {
    TTreeNode* node = Nodes()->AddChildObject(nullptr, QString(), NewCopy());
    SetSelected(node);
    SetModified(true);
}

void TfrmTListItemsDlg::NewSubitem() {
    TTreeNode* itemNode = Selected();
    if (IsSubNode(itemNode))
        itemNode = itemNode->Parent();
    auto* owner = qobject_cast<TNodeListItem*>(ItemOf(itemNode));
    if (!owner)
        return;
    owner->SubItems()->Add(QString());
    TTreeNode* node = Nodes()->AddChild(itemNode, QString());
    TreeView1->expand(itemNode->index());
    SetSelected(node);
    SetModified(true);
}

void TfrmTListItemsDlg::DeleteItem() {
    TTreeNode* node = Selected();
    if (!IsSubNode(node)) {
        TfrmCustomItemsDlg::DeleteItem();
        return;
    }
    if (auto* owner = qobject_cast<TNodeListItem*>(ItemOf(node->Parent())))
        if (node->Index() < owner->SubItems()->Count())
            owner->DeleteSubItem(node->Index());
    TfrmCustomItemsDlg::DeleteItem();
}

void TfrmTListItemsDlg::NormaliseTree() {
    for (TTreeNode* top : TopNodes(*Nodes())) {
        auto* copy = qobject_cast<TNodeListItem*>(ItemOf(top));
        QStringList subs;
        for (int i = 0; i < top->Count(); ++i) {
            TTreeNode* child = top->Item(i);
            while (child->Count() > 0) {
                FreeCopies(child->Item(0));
                child->Item(0)->Delete();
            }
            FreeCopies(child);
            subs << child->Text();
        }
        if (copy)
            copy->SubItems()->SetLines(subs);
    }
}

bool TfrmTListItemsDlg::LoadFromFile() {
    if (!TfrmCustomItemsDlg::LoadFromFile())
        return false;
    NormaliseTree();
    return true;
}

void TfrmTListItemsDlg::Apply() {
    TfrmCustomItemsDlg::Apply();
    if (!m_target)
        return;
    m_target->Clear();
    for (TTreeNode* top : TopNodes(*Nodes()))
        if (auto* copy = qobject_cast<TNodeListItem*>(ItemOf(top)))
            copy->AssignTo(m_target->Add());
}
