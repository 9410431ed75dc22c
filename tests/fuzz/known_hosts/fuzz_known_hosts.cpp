// Arbitrary bytes as ~/.ssh/known_hosts, judged for the server example.org on port 22 or 2222 (the first byte):
// the deciding line is one of the text's; a line added for the server's key makes it known, unless a line has
// revoked it; an "@revoked" line for every host added at the end refuses the key whatever came before.
#include "fuzz_check.h"
#include "platform/known_hosts.h"

namespace {

QByteArray serverKey()
{
    QByteArray key("\0\0\0\x0bssh-ed25519\0\0\0\x20", 19);
    return key + QByteArray(32, 'K');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int port = data[0] % 2 ? 2222 : 22;
    const QByteArray text(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const QByteArray key = serverKey();
    const QByteArray keyField = "ssh-ed25519 " + key.toBase64();
    const QString detail = QStringLiteral("port %1\ntext %2").arg(port).arg(fuzzShow(text));
    using KnownHosts::Verdict;

    const KnownHosts::Judgement judgement = KnownHosts::judge(text, "example.org", port, key);
    FUZZ_CHECK((judgement.verdict == Verdict::Unknown) == (judgement.line == 0), detail);
    FUZZ_CHECK(judgement.line <= text.count('\n') + 1, detail);
    if (judgement.verdict == Verdict::Known)
        FUZZ_CHECK(KnownHosts::keyTypes(text, "example.org", port).contains("ssh-ed25519"), detail);

    const QByteArray added = text + '\n' + KnownHosts::lookupName("example.org", port) + ' ' + keyField;
    const Verdict afterAdding = KnownHosts::judge(added, "example.org", port, key).verdict;
    FUZZ_CHECK(afterAdding == (judgement.verdict == Verdict::Revoked ? Verdict::Revoked : Verdict::Known), detail);

    const QByteArray revoked = text + "\n@revoked * " + keyField;
    FUZZ_CHECK(KnownHosts::judge(revoked, "example.org", port, key).verdict == Verdict::Revoked, detail);
    return 0;
}
