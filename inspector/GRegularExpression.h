#pragma once
// A small regular-expression compiler and matcher: the pattern becomes an array of nodes (a
// nondeterministic automaton) that is simulated without backtracking, one set of states per text position,
// so a search takes time linear in the text. The in-place editor of the item grid checks cell texts with
// it.
//
// Syntax: literals, "\" before any character for that character, "." any character, "[...]" and "[^...]"
// classes with ranges, "(...)" groups, "|", the postfix operators "*", "+" and "?", and "^" and "$" as
// anchors at the start and end of the text (literal inside a class or after "\"). The whole pattern must
// be read: anything left over is a syntax error, which carries its position.
#include "classlib/SysUtils.h"
#include <QObject>
#include <QString>
#include <string>
#include <vector>

// A syntax error: the message names what is wrong; Position is the 1-based place in the pattern.
class ERXException : public Exception {
public:
    ERXException(QString message, int position) : Exception(std::move(message)), m_position(position) {}
    int Position() const noexcept { return m_position; }

private:
    int m_position;
};

class TGRegularExpression : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Expression READ Expression WRITE SetExpression)
    Q_PROPERTY(bool CaseSensitive READ CaseSensitive WRITE SetCaseSensitive)
    Q_CLASSINFO("default:CaseSensitive", "True")

public:
    enum TNodeKind : quint8 {
        nkEmpty,     // split or jump
        nkAny,       // any character
        nkChar,      // the character Ch
        nkClass,     // a character of CharSet
        nkNegClass,  // a character not in CharSet
        nkAccept,    // match found
        nkRemoved,   // an empty node the optimiser bypassed
        nkTextStart, // "^": only before the first character
        nkTextEnd,   // "$": only after the last character
    };
    // A class as sorted, disjoint ranges of code points.
    struct TCharRange {
        char32_t Lo;
        char32_t Hi;
    };
    struct TNode {
        int Next1 = -1;
        int Next2 = -1;
        std::vector<TCharRange> CharSet;
        quint8 Kind = nkEmpty;
        char32_t Ch = 0;
    };
    // Groups nested deeper than this are refused instead of being followed down the stack.
    static constexpr int MaxNesting = 1000;

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
    // 1-based position of the first match (leftmost start, shortest length), or 0. Positions and
    // lengths count UTF-16 code units of the text; an empty match may lie just past the last character.
    virtual int Find(const QString& text, int& matchLen);
    int Find(const QString& text);
    virtual int FindFrom(const QString& text, int startPos, int& matchLen);
    // Runs the automaton from one 1-based start position only.
    virtual bool MatchAt(const QString& text, int start, int& matchLen) const;

    const std::vector<TNode>& Nodes() const { return m_nodes; }
    int StartNode() const { return m_startNode; }

protected:
    virtual void Optimize();

private:
    struct TText;
    static bool IsMeta(char32_t c);
    static bool StartsAtom(char32_t c);
    char32_t Fold(char32_t c) const;
    bool AtEnd() const { return m_pos >= m_pattern.size(); }
    char32_t Cur() const { return m_pattern[m_pos]; }
    int AddNode(quint8 kind, char32_t ch, bool chain, int next2, int next1 = -1,
                std::vector<TCharRange> charSet = {});
    int ParseAlternation();
    int ParseConcatenation();
    int ParsePostfix();
    int ParseAtom(bool& quantifiable);
    int ParseLiteral();
    std::vector<TCharRange> ParseClass();
    char32_t ParseClassChar();
    [[noreturn]] void Raise(const char* text) const;
    // The leftmost start in [first, lastStart] (code point indexes) that matches, and its shortest end.
    bool Search(const TText& text, int first, int lastStart, int& matchStart, int& matchEnd) const;

    std::vector<TNode> m_nodes;
    QString m_expression;
    std::u32string m_pattern; // the pattern's code points while compiling
    std::size_t m_pos = 0;    // 0-based parse position in m_pattern
    int m_depth = 0;          // groups open at the parse position
    bool m_matchToEnd = false;
    bool m_anchored = false;
    bool m_caseSensitive = true;
    int m_startNode = 0;
};
