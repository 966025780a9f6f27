#pragma once
// TStrings / TStringList: a list of text lines as an object, so that a published property can hold one
// (the inspector shows its lines as rows). Lines may be name=value pairs. OnChanging and OnChange run
// around every change.
#include <QObject>
#include <QStringList>
#include <functional>

class TStrings : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TStrings(QObject* parent = nullptr) : QObject(parent) {}

    int Count() const { return int(m_lines.size()); }
    // An index outside the list raises the list index error.
    QString Strings(int index) const;
    void Put(int index, const QString& value);
    int Add(const QString& value);
    void Insert(int index, const QString& value);
    void Delete(int index);
    void Clear();
    // Compares as CaseSensitive says.
    int IndexOf(const QString& value) const;
    int IndexOfName(const QString& name) const;
    const QStringList& Lines() const { return m_lines; }
    void SetLines(const QStringList& lines);
    void Assign(const TStrings& source) { SetLines(source.m_lines); }

    QChar NameValueSeparator() const { return m_separator; }
    void SetNameValueSeparator(QChar value) { m_separator = value; }
    // The name part of line index (empty when the line has no separator) and the value part.
    QString Names(int index) const;
    QString ValueFromIndex(int index) const;
    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool value) { m_caseSensitive = value; }

    std::function<void(TStrings* sender)> OnChanging;
    std::function<void(TStrings* sender)> OnChange;

private:
    void Changing();
    void Changed();
    QStringList m_lines;
    QChar m_separator = QLatin1Char('=');
    bool m_caseSensitive = false;
};

class TStringList : public TStrings {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TStringList(QObject* parent = nullptr) : TStrings(parent) {}
};
