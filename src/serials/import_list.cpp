#include "import_list.h"

#include "serial_file.h"

namespace serials {

namespace {
// Entry 0 is not used, so the list has room for the most entries an import takes.
constexpr int ImportListSize = MaxImportEntries + 1;
} // namespace

QStringList ImportSnList(ImportListSize);
int ImportSnCount = 0;

void clearImportList()
{
    ImportSnList = QStringList(ImportListSize);
    ImportSnCount = 0;
}

} // namespace serials
