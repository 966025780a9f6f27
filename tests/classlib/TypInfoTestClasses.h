#pragma once
// Classes with one published property of every kind the property layer serves.
#include "classlib/Component.h"

class TTestBase : public TComponent {
    Q_OBJECT
    Q_PROPERTY(qint32 Count MEMBER m_count)
    Q_PROPERTY(bool Enabled MEMBER m_enabled)
    Q_CLASSINFO("default:Count", "0")
    Q_CLASSINFO("default:Enabled", "True")

public:
    Q_INVOKABLE explicit TTestBase(TComponent* owner = nullptr) : TComponent(owner) {}
    qint32 m_count = 0;
    bool m_enabled = true;
};

class TTestObject : public TTestBase {
    Q_OBJECT

public:
    enum class TBaudrate : quint8 { BR_1200, BR_9600, BR_19200 };
    Q_ENUM(TBaudrate)
    enum TFontStyle { fsNone = 0, fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8, fsAll = 15 };
    Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
    Q_FLAG(TFontStyles)

private:
    Q_PROPERTY(TBaudrate Baudrate MEMBER m_baudrate)
    Q_PROPERTY(TFontStyles Styles READ Styles WRITE SetStyles)
    Q_PROPERTY(quint8 Level MEMBER m_level)
    Q_PROPERTY(double Ratio MEMBER m_ratio)
    Q_PROPERTY(QString Caption MEMBER m_caption)
    Q_PROPERTY(qint64 Big MEMBER m_big)
    Q_PROPERTY(TTestBase* Link MEMBER m_link)
    Q_PROPERTY(QString Model READ Model STORED false)
    Q_CLASSINFO("default:Count", "5") // overrides the ancestor's default
    Q_CLASSINFO("default:Baudrate", "BR_9600")
    Q_CLASSINFO("default:Styles", "[fsBold]")
    Q_CLASSINFO("default:Level", "7")
    Q_CLASSINFO("default:Ratio", "0.5")

public:
    Q_INVOKABLE explicit TTestObject(TComponent* owner = nullptr) : TTestBase(owner) {}
    TFontStyles Styles() const { return m_styles; }
    void SetStyles(TFontStyles s) { m_styles = s; }
    QString Model() const { return QStringLiteral("7610"); }

    TBaudrate m_baudrate = TBaudrate::BR_9600;
    TFontStyles m_styles = fsBold;
    quint8 m_level = 7;
    double m_ratio = 0.5;
    QString m_caption;
    qint64 m_big = 0;
    TTestBase* m_link = nullptr;
};
