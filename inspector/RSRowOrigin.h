#pragma once
// What an inspector row was made for, so that an edit typed into it goes to that thing or nowhere: a
// collection item by the item itself, a string line by its list, the list's line count, its place and the
// lines around it (a line has no identity of its own).
#include <QPointer>
#include <QString>
#include <memory>

class TRSItemProperty;
class TRSRowIdentity;

struct TRSRowOrigin {
    QPointer<QObject> Object; // the collection item, or the string list
    int Count = -1;           // the list's lines when the row was made (-1: a collection item)
    int Index = -1;
    QString Previous, Line, Next;
    bool HasPrevious = false;
    bool HasNext = false;

    bool IsLine() const { return Count >= 0; }
    // A line next to an equal one: once lines came or went, the two cannot be told apart (either may be
    // the one left).
    bool LikeANeighbour() const { return (HasPrevious && Previous == Line) || (HasNext && Next == Line); }
    // The origin of a list's line as the list is now.
    static TRSRowOrigin OfLine(QObject* list, int index);
    // Where the line is now: the same place while the list has as many lines, else the one place with the
    // same line and the same neighbour on at least one side; -1 when it is gone or cannot be told (a line
    // next to an equal one).
    int LineIndexNow() const;
    // Whether another row's origin is the same thing (a row made anew for it, by a later scan).
    bool Same(const TRSRowOrigin& later) const;
};

// The identity of an inspector row: the path of property names from the top, with each collection item
// and string line on the way taken by its origin instead of its place.
std::shared_ptr<const TRSRowIdentity> InspectorRowIdentity(const TRSItemProperty* row);
