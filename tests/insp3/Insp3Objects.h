#pragma once
// Objects for the preset, dialog and collection-editor tests: a "gadget" with a property of every type
// alias the built-in presets know, a picture class, a value-list editor with its Strings, and a collection.
#include "classlib/Collection.h"
#include "classlib/Component.h"
#include "classlib/ListItems.h"
#include "classlib/Strings.h"
#include "classlib/TreeNodes.h"
#include "inspector/RSDeltaFont.h"
#include "inspector/RSModalDialogs.h"
#include "inspector/RSObjectInspector.h"
#include <QCoreApplication>
#include <QImage>

class TPicture : public QObject {
    Q_OBJECT

public:
    explicit TPicture(QObject* parent = nullptr) : QObject(parent) {}
    Q_INVOKABLE bool LoadFromFile(const QString& fileName) {
        QImage image;
        if (!image.load(fileName))
            return false;
        loaded = fileName;
        size = image.size();
        return true;
    }
    QString loaded;
    QSize size;
};

class TGadgetItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(qint32 Width READ Width WRITE SetWidth)

public:
    Q_INVOKABLE explicit TGadgetItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    qint32 Width() const { return m_width; }
    void SetWidth(qint32 value) { m_width = value; }
    QString DisplayName() const override {
        return m_caption.isEmpty() ? QStringLiteral("TGadgetItem") : m_caption;
    }

private:
    QString m_caption;
    qint32 m_width = 10;
};

class TGadget : public TComponent {
    Q_OBJECT
    Q_PROPERTY(qint32 Color READ Color WRITE SetColor)
    Q_PROPERTY(qint16 Cursor READ Cursor WRITE SetCursor)
    Q_PROPERTY(qint32 ModalResult READ ModalResult WRITE SetModalResult)
    Q_PROPERTY(double Start READ Start WRITE SetStart)
    Q_PROPERTY(double AlarmTime READ AlarmTime WRITE SetAlarmTime)
    Q_PROPERTY(double Stamp READ Stamp WRITE SetStamp)
    Q_PROPERTY(QString FontName READ FontName WRITE SetFontName)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(QString LogPath READ LogPath WRITE SetLogPath)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TStrings* Lines READ Lines)
    Q_PROPERTY(TCollection* Items READ Items)
    Q_PROPERTY(TRSFont* Font READ Font)
    Q_PROPERTY(TComponent* Link READ Link WRITE SetLink)
    Q_PROPERTY(TTreeNodes* Nodes READ Nodes)
    Q_PROPERTY(TListItems* ListItems READ ListItems)
    Q_PROPERTY(TPicture* Picture READ Picture)
    Q_CLASSINFO("type:Color", "TColor")
    Q_CLASSINFO("type:Cursor", "TCursor")
    Q_CLASSINFO("type:ModalResult", "TModalResult")
    Q_CLASSINFO("type:Start", "TDate")
    Q_CLASSINFO("type:AlarmTime", "TTime")
    Q_CLASSINFO("type:Stamp", "TDateTime")
    Q_CLASSINFO("type:FontName", "TFontName")
    Q_CLASSINFO("type:LogPath", "TFilename")

public:
    explicit TGadget(TComponent* owner = nullptr)
        : TComponent(owner), m_lines(new TStringList(this)),
          m_items(std::make_unique<TCollection>(&TGadgetItem::staticMetaObject, this)),
          m_font(new TRSFont(this)), m_nodes(new TTreeNodes(this)), m_listItems(new TListItems(this)),
          m_picture(new TPicture(this)) {}

    qint32 Color() const { return m_color; }
    void SetColor(qint32 value) { m_color = value; }
    qint16 Cursor() const { return m_cursor; }
    void SetCursor(qint16 value) { m_cursor = value; }
    qint32 ModalResult() const { return m_modalResult; }
    void SetModalResult(qint32 value) { m_modalResult = value; }
    double Start() const { return m_start; }
    void SetStart(double value) { m_start = value; }
    double AlarmTime() const { return m_alarmTime; }
    void SetAlarmTime(double value) { m_alarmTime = value; }
    double Stamp() const { return m_stamp; }
    void SetStamp(double value) { m_stamp = value; }
    QString FontName() const { return m_fontName; }
    void SetFontName(const QString& value) { m_fontName = value; }
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString& value) { m_fileName = value; }
    QString LogPath() const { return m_logPath; }
    void SetLogPath(const QString& value) { m_logPath = value; }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    TStrings* Lines() const { return m_lines; }
    TCollection* Items() const { return m_items.get(); }
    TRSFont* Font() const { return m_font; }
    TComponent* Link() const { return m_link; }
    void SetLink(TComponent* value) { m_link = value; }
    TTreeNodes* Nodes() const { return m_nodes; }
    TListItems* ListItems() const { return m_listItems; }
    TPicture* Picture() const { return m_picture; }

private:
    qint32 m_color = qint32(0x8000000F);
    qint16 m_cursor = 0;
    qint32 m_modalResult = 1;
    double m_start = 45356;      // 5 March 2024
    double m_alarmTime = 0.4375; // 10:30
    double m_stamp = 45356.75;   // 5 March 2024 18:00
    QString m_fontName;
    QString m_fileName;
    QString m_logPath;
    QString m_caption;
    TStringList* m_lines;
    std::unique_ptr<TCollection> m_items;
    TRSFont* m_font;
    TComponent* m_link = nullptr;
    TTreeNodes* m_nodes;
    TListItems* m_listItems;
    TPicture* m_picture;
};

// A value-list editor: its Strings go to the name=value page of the strings editor.
class TValueListEditor : public TComponent {
    Q_OBJECT
    Q_PROPERTY(TStrings* Strings READ Strings)
    Q_PROPERTY(TStrings* Notes READ Notes)

public:
    explicit TValueListEditor(TComponent* owner = nullptr)
        : TComponent(owner), m_strings(new TStringList(this)), m_notes(new TStringList(this)) {}
    TStrings* Strings() const { return m_strings; }
    TStrings* Notes() const { return m_notes; }

private:
    TStringList* m_strings;
    TStringList* m_notes;
};

// Runs the posted events (rescans and change notifications) until none is left.
inline void Settle() {
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

// Answers every modal dialog through a test function for the lifetime of the guard.
class ScopedModalExecutor {
public:
    explicit ScopedModalExecutor(TModalExecutor executor)
        : m_previous(SetModalExecutor(std::move(executor))) {}
    ~ScopedModalExecutor() { SetModalExecutor(std::move(m_previous)); }

private:
    TModalExecutor m_previous;
};

// The row of a path, or a test failure.
inline TRSItemProperty* RowOf(TRSCustomObjectInspector& inspector, const QString& path) {
    return inspector.Items()->FindByPath(path);
}

// The pick list a row offers.
inline QStringList PickListOf(TRSItemProperty* row) {
    QStringList values = row->PickListCopy();
    if (row->OnGetPickList)
        row->OnGetPickList(row, row->GetFullName(), values);
    return values;
}

// Types a text into a row and commits it as the grid does.
inline void Commit(TRSItemProperty* row, const QString& text) {
    row->SetValue(text);
    row->DoValidate();
    Settle();
}
