#pragma once
// Objects with published properties for the inspector's tests: a button and a label that share some
// properties, a font sub-object with a set property, a string list, a collection and a component link.
#include "classlib/Collection.h"
#include "classlib/Component.h"
#include "classlib/Strings.h"
#include "inspector/RSObjectInspector.h"
#include <QCoreApplication>

class TTestFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(TFontStyles Style READ Style WRITE SetStyle)
    Q_PROPERTY(qint32 Size READ Size WRITE SetSize)
    Q_CLASSINFO("default:Size", "8")

public:
    enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
    Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
    Q_FLAG(TFontStyles)

    explicit TTestFont(QObject* parent = nullptr) : QObject(parent) {}
    bool event(QEvent* e) override {
        if (e->type() == WM_COPY_Event())
            ++copies;
        else if (e->type() == WM_PASTE_Event())
            ++pastes;
        return QObject::event(e);
    }
    int copies = 0;
    int pastes = 0;
    TFontStyles Style() const { return m_style; }
    void SetStyle(TFontStyles value) { m_style = value; }
    qint32 Size() const { return m_size; }
    void SetSize(qint32 value) { m_size = value; }

private:
    TFontStyles m_style;
    qint32 m_size = 8;
};

class TTestItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    Q_INVOKABLE explicit TTestItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    QString DisplayName() const override {
        return m_caption.isEmpty() ? QStringLiteral("TTestItem") : m_caption;
    }

private:
    QString m_caption;
};

class TTestButton : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(qint32 Width READ Width WRITE SetWidth)
    Q_PROPERTY(TColorKind Color READ Color WRITE SetColor)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(double Ratio READ Ratio WRITE SetRatio)
    Q_PROPERTY(TTestFont* Font READ Font)
    Q_PROPERTY(TStrings* Lines READ Lines)
    Q_PROPERTY(TCollection* Items READ Items)
    Q_PROPERTY(TComponent* Link READ Link WRITE SetLink)
    Q_CLASSINFO("default:Width", "75")
    Q_CLASSINFO("default:Enabled", "True")

public:
    enum TColorKind { clWindow, clRed, clBlack, clAqua };
    Q_ENUM(TColorKind)

    explicit TTestButton(TComponent* owner = nullptr)
        : TComponent(owner), m_font(new TTestFont(this)), m_lines(new TStringList(this)),
          m_items(std::make_unique<TCollection>(&TTestItem::staticMetaObject)) {}

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) {
        m_caption = value;
        ++captionWrites;
    }
    qint32 Width() const { return m_width; }
    void SetWidth(qint32 value) { m_width = value; }
    TColorKind Color() const { return m_color; }
    void SetColor(TColorKind value) { m_color = value; }
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value) { m_enabled = value; }
    double Ratio() const { return m_ratio; }
    void SetRatio(double value) { m_ratio = value; }
    TTestFont* Font() const { return m_font; }
    TStrings* Lines() const { return m_lines; }
    TCollection* Items() const { return m_items.get(); }
    TComponent* Link() const { return m_link; }
    void SetLink(TComponent* value) { m_link = value; }

    int captionWrites = 0;

private:
    QString m_caption;
    qint32 m_width = 75;
    TColorKind m_color = clWindow;
    bool m_enabled = true;
    double m_ratio = 1.5;
    TTestFont* m_font;
    TStringList* m_lines;
    std::unique_ptr<TCollection> m_items;
    TComponent* m_link = nullptr;
};

class TTestLabel : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(qint32 Width READ Width WRITE SetWidth)
    Q_PROPERTY(QString Width2 READ Caption)
    Q_PROPERTY(double Color READ Height WRITE SetHeight)
    Q_PROPERTY(TTestFont* Font READ Font)
    Q_CLASSINFO("default:Width", "75")

public:
    explicit TTestLabel(TComponent* owner = nullptr) : TComponent(owner), m_font(new TTestFont(this)) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    qint32 Width() const { return m_width; }
    void SetWidth(qint32 value) { m_width = value; }
    double Height() const { return m_height; }
    void SetHeight(double value) { m_height = value; }
    TTestFont* Font() const { return m_font; }

private:
    QString m_caption;
    qint32 m_width = 75;
    double m_height = 0;
    TTestFont* m_font;
};

// A Color of an enumeration type of its own (a button's Color is another type of the same kind).
class TTestPanel : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TPanelColor Color READ Color WRITE SetColor)

public:
    enum TPanelColor { pcPlain, pcRaised };
    Q_ENUM(TPanelColor)
    explicit TTestPanel(TComponent* owner = nullptr) : TComponent(owner) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    TPanelColor Color() const { return m_color; }
    void SetColor(TPanelColor value) { m_color = value; }

private:
    QString m_caption;
    TPanelColor m_color = pcPlain;
};

// Presets of classes of their own, for the registry.
class TTestHintPreset : public TRSPropertyPreset {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TTestHintPreset(TCollection* collection = nullptr) : TRSPropertyPreset(collection) {
        SetHint(QStringLiteral("width in pixels"));
        PropNames()->Add(QStringLiteral("Width"));
    }
};

class TTestSubPreset : public TTestHintPreset {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TTestSubPreset(TCollection* collection = nullptr) : TTestHintPreset(collection) {}
};

// Runs the posted events (rescans and change notifications) until none is left.
inline void Settle() {
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

// The row names of one level.
inline QStringList RowNames(TRSItemProperties* rows) {
    QStringList names;
    for (int i = 0; i < rows->Count(); ++i)
        names << rows->Items(i)->Name();
    return names;
}
