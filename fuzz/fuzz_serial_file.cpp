// The serial-number file an import reads: the count, the fields, their validity
// rule, an entry as the bytes to write and as the parts the verification window
// shows; what was read, saved again, reads the same. Input: the file's bytes.

#include "fuzz_input.h"

#include "serials/serial_file.h"
#include "serials/serial_numbers.h"

#include <algorithm>

using serials::ImportedFile;

namespace {

void checkCounts(const ImportedFile& file)
{
    const qsizetype read = file.fields.size();
    FUZZ_CHECK(file.valid.size() == read && read <= serials::MaxImportEntries);
    switch (file.error) {
    case ImportedFile::None:
        FUZZ_CHECK(read == std::max(file.announcedCount, 0));
        break;
    case ImportedFile::BadCount:
        FUZZ_CHECK(read == 0 && file.announcedCount == 0);
        break;
    case ImportedFile::TooMany:
        FUZZ_CHECK(read == serials::MaxImportEntries && file.announcedCount > serials::MaxImportEntries);
        break;
    case ImportedFile::EndOfFile:
    case ImportedFile::TooFewParts:
        FUZZ_CHECK(read < file.announcedCount);
        break;
    }
}

// Entries written as the save writes them import again as they are.
void checkSavedAndImported(const QStringList& entries)
{
    const ImportedFile again = serials::parseSerialFile(serials::formatSerialFile(entries));
    FUZZ_CHECK(again.error == ImportedFile::None && again.announcedCount == entries.size());
    FUZZ_CHECK(again.fields == entries);
}

void checkEntry(const QString& entry, bool valid)
{
    FUZZ_CHECK(!entry.contains(QLatin1Char('\r')) && !entry.contains(QLatin1Char('\n')));
    FUZZ_CHECK(serials::passesTextRule(entry) == std::optional<bool>(valid));

    const QStringList parts = serials::entryParts(entry);
    FUZZ_CHECK(parts.size() == entry.count(QLatin1Char(' ')) + 1);
    for (const QString& part : parts)
        FUZZ_CHECK(part == part.trimmed());

    // An entry that stands for eight bytes has eight parts, and the bytes' own text stands for them too.
    if (const std::optional<serials::SerialNumber> serial = serials::serialFromEntry(entry)) {
        FUZZ_CHECK(parts.size() == 8);
        FUZZ_CHECK(serials::serialFromEntry(serials::serialText(*serial)) == serial);
        FUZZ_CHECK(serials::serialFromParts(parts) == serial);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const ImportedFile file = serials::parseSerialFile(input.rest());
    checkCounts(file);
    QStringList serialTexts;
    for (qsizetype i = 0; i < file.fields.size(); ++i) {
        checkEntry(file.fields[i], file.valid[i]);
        if (const std::optional<serials::SerialNumber> serial = serials::serialFromEntry(file.fields[i]))
            serialTexts << serials::serialText(*serial);
    }
    // The save writes serial numbers in their text form; a field holding a
    // quote can only come from a file written by hand, without quotes.
    checkSavedAndImported(serialTexts);
    const bool quoteFree = std::none_of(file.fields.begin(), file.fields.end(), [](const QString& field) {
        return field.contains(QLatin1Char('"'));
    });
    if (quoteFree)
        checkSavedAndImported(file.fields);
    return 0;
}
