// The login files "login.set" and "startlogin.set": records in UTF-8 or GB18030,
// and a remembered login added to a file, which must read back as the records
// it had and the one added. Input: the file's bytes.

#include "fuzz_input.h"

#include "config/login_files.h"

namespace {

// A text with a double quote is written without quotes, so blanks around it
// would be lost. Such a text comes only from a file no editor makes: a GB18030
// field whose last byte starts a character that never ends, which the decoder drops.
bool writable(const QString& text)
{
    return !text.contains(QLatin1Char('"')) || text == text.trimmed();
}

void checkAdded(const QByteArray& text, const config::LoginRecords& before, const config::LoginRecord& record)
{
    const QByteArray added = config::withLoginRecordAdded(text, record);
    FUZZ_CHECK(added.endsWith(config::formatLoginRecord(record, before.encoding)));
    const config::LoginRecords after = config::parseLoginRecords(added);
    FUZZ_CHECK(after.encoding == before.encoding);
    // Records after a field that cannot be read are lost to the reader anyway.
    if (before.cutShort || !writable(record.userName) || !writable(record.password))
        return;
    FUZZ_CHECK(!after.cutShort);
    FUZZ_CHECK(after.records == before.records + QList<config::LoginRecord>{record});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const QByteArray text = input.rest();
    const config::LoginRecords parsed = config::parseLoginRecords(text);

    // What the login window adds: an account of login.set, the default one
    // or any read from a file (so possibly from the other encoding).
    checkAdded(text, parsed, config::defaultAccount());
    if (!parsed.records.isEmpty())
        checkAdded(text, parsed, parsed.records.last());
    return 0;
}
