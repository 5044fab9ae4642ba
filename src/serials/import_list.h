#pragma once
// The serial numbers of the last import, which the writing functions send.

#include <QStringList>

namespace serials {

// Entries 1 .. ImportSnCount hold the fields of the last import, as read
// (without quotes); entry 0 is not used. A failed import leaves the count 0 and
// every entry empty, so nothing of an earlier file can be written by mistake.
extern QStringList ImportSnList;
extern int ImportSnCount;

// Back to what a fresh start has: no entries (129 empty texts) and a count of 0.
void clearImportList();

} // namespace serials
