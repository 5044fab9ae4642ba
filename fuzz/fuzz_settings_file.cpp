// The one-line settings files: the field reader they share, their 16-bit
// numbers, "comm.set" and "ModSet.set"; values read, saved again, read the same.
// Input: the file's bytes.

#include "fuzz_input.h"

#include "config/module_settings.h"
#include "config/settings_file.h"
#include "config/comm_settings.h"

#include <limits>

namespace {

// Every field of the text, checking what the reader promises of each.
QList<QByteArray> readAllFields(const QByteArray& text)
{
    config::FieldReader reader(text);
    QList<QByteArray> fields;
    while (const std::optional<QByteArray> field = reader.next()) {
        FUZZ_CHECK(!field->contains('\r') && !field->contains('\n'));
        fields << *field;
        // A field ends at a separator or the text's end: never more fields than that.
        FUZZ_CHECK(fields.size() <= text.size() + 1);
    }
    FUZZ_CHECK(!reader.stoppedAtBrokenField() || text.contains('"'));
    FUZZ_CHECK(!reader.next().has_value());
    return fields;
}

void checkNumber(const QByteArray& field)
{
    const std::optional<int> number = config::int16FromField(field);
    if (!number)
        return;
    FUZZ_CHECK(*number >= std::numeric_limits<qint16>::min() &&
               *number <= std::numeric_limits<qint16>::max());
    FUZZ_CHECK(config::int16FromField(QByteArray::number(*number)) == number);
}

// The first values of `fields`, read as the files read them.
bool firstNumbersAre(const QList<QByteArray>& fields, const QList<int>& values)
{
    if (fields.size() < values.size())
        return false;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (config::int16FromField(fields[i]) != values[i])
            return false;
    }
    return true;
}

void checkCommSet(const QByteArray& text, const QList<QByteArray>& fields)
{
    const std::optional<config::CommSetValues> values = config::parseCommSet(text);
    if (!values)
        return;
    FUZZ_CHECK(firstNumbersAre(fields, {values->port, values->baud}));
    const std::optional<config::CommSetValues> again =
        config::parseCommSet(config::formatCommSet(values->port, values->baud));
    FUZZ_CHECK(again && again->port == values->port && again->baud == values->baud);
}

void checkModSet(const QByteArray& text, const QList<QByteArray>& fields)
{
    const std::optional<config::ModuleSettings> values = config::parseModSet(text);
    if (!values)
        return;
    FUZZ_CHECK(firstNumbersAre(fields, {values->defaultAddress, values->channelCount,
                                        values->sensorsPerChannel, values->moduleCount}));
    FUZZ_CHECK(config::parseModSet(config::formatModSet(*values)) == values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const QByteArray text = input.rest();
    const QList<QByteArray> fields = readAllFields(text);
    for (const QByteArray& field : fields)
        checkNumber(field);
    checkCommSet(text, fields);
    checkModSet(text, fields);
    return 0;
}
