#pragma once
// A small regular-expression compiler and matcher: the pattern becomes an array of nodes (a
// nondeterministic automaton) that is simulated with a double-ended work queue, without backtracking.
// The in-place editor of the item grid checks cell texts with it.
#include "classlib/SysUtils.h"
#include <QObject>
#include <QString>
#include <bitset>
#include <vector>

class ERXException : public Exception {
    using Exception::Exception;
};

class TGRegularExpression : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Expression READ Expression WRITE SetExpression)
    Q_PROPERTY(bool CaseSensitive READ CaseSensitive WRITE SetCaseSensitive)
    Q_CLASSINFO("default:CaseSensitive", "True")

public:
    enum TNodeKind : quint8 { nkEmpty, nkAny, nkChar, nkClass, nkNegClass, nkAccept, nkRemoved };
    struct TNode {
        int Next1 = -1;
        int Next2 = -1;
        std::bitset<256> CharSet;
        quint8 Kind = nkEmpty;
        QChar Ch;
    };

    // Raises ERXException when the pattern has a syntax error.
    explicit TGRegularExpression(const QString& expression = QString(), QObject* parent = nullptr);

    virtual void Assign(const TGRegularExpression& source);

    QString Expression() const { return m_expression; }
    // Stores the pattern and recompiles when it changed.
    void SetExpression(const QString& value);
    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool value);
    bool MatchToEnd() const { return m_matchToEnd; }
    bool Anchored() const { return m_anchored; }

    virtual void Compile();
    // 1-based position of the first (leftmost, shortest) match, or 0.
    virtual int Find(const QString& text, int& matchLen);
    int Find(const QString& text);
    virtual int FindFrom(const QString& text, int startPos, int& matchLen);
    // Runs the automaton from a 1-based start position.
    virtual bool MatchAt(const QString& text, int start, int& matchLen) const;

    const std::vector<TNode>& Nodes() const { return m_nodes; }
    int StartNode() const { return m_startNode; }

protected:
    virtual void Optimize();

private:
    static bool IsMeta(QChar c);
    QChar Fold(QChar c) const;
    bool AtEnd() const { return m_pos >= m_pattern.size(); }
    QChar Cur() const { return m_pattern.at(m_pos); }
    int AddNode(quint8 kind, QChar ch, bool chain, int next2, int next1 = -1,
                const std::bitset<256>& charSet = {});
    int Prepare();
    int ParseAlternation();
    int ParseConcatenation();
    int ParsePostfix();
    int ParseAtom();
    int ParseLiteral();
    std::bitset<256> ParseClass();
    void ParseClassItem(std::bitset<256>& set);
    QChar ParseClassChar();
    // Processes the empty-node closure of the queue after the text; true when an accept node is reached.
    [[noreturn]] static void Raise(const char* text);

    std::vector<TNode> m_nodes;
    QString m_expression;
    QString m_pattern; // the rewritten pattern while compiling
    int m_pos = 0;     // 0-based parse position in m_pattern
    bool m_matchToEnd = false;
    bool m_anchored = false;
    bool m_caseSensitive = true;
    int m_startNode = 0;
};
