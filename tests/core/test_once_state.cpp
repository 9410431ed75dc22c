#include "app/once_state.h"
#include "test_files.h"
#include "unprivileged.h"

#include <QFile>

#include <QTest>

Q_DECLARE_METATYPE(OnceState)

// The one-shot mode's state file: what it writes reads back the same, and anything else (cut off, damaged,
// too big, another format) is no state, so the next run counts as a change.
class TestOnceState : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<OnceState>("state");
        QTest::addColumn<int>("lines"); // 3: the format written before IPv6 was known
        OnceState first;
        QTest::newRow("first run: the start-up caption, nothing sent") << first << 3;
        OnceState sent;
        sent.lastAddress = QStringLiteral("192.0.2.1");
        sent.changeSent = {true, false, true, false, false, false, false, false, true};
        QTest::newRow("an address, some slots sent") << sent << 3;
        OnceState failed;
        failed.lastAddress = QStringLiteral("接続不可");
        failed.changeSent.fill(true);
        QTest::newRow("a failure word, every slot sent") << failed << 3;
        OnceState odd;
        odd.lastAddress = QStringLiteral("a=b\nADDRESS=c %41\r");
        QTest::newRow("line ends, '=' and '%' in the text") << odd << 3;
        OnceState empty;
        empty.lastAddress.clear();
        QTest::newRow("empty address") << empty << 3;
        OnceState both = sent;
        both.lastAddress6 = QStringLiteral("2001:db8::7");
        QTest::newRow("both addresses") << both << 4;
    }
    void roundTrip()
    {
        QFETCH(OnceState, state);
        QFETCH(int, lines);
        const QByteArray bytes = formatState(state);
        QCOMPARE(bytes.count('\n'), lines);
        const std::optional<OnceState> read = readState(bytes);
        QVERIFY(read.has_value());
        QVERIFY(*read == state);
    }

    void rejected_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = "VELTORA-STATE 1\nADDRESS=192.0.2.1\nSENT=100000001\n";
        QVERIFY(readState(good).has_value());
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut after the address") << good.left(good.indexOf("SENT"));
        QTest::newRow("cut in the last line") << good.left(good.size() - 3);
        QTest::newRow("no final line end") << good.chopped(1);
        QTest::newRow("another format") << QByteArray(good).replace("STATE 1", "STATE 2");
        QTest::newRow("eight slots") << QByteArray(good).replace("100000001", "10000001");
        QTest::newRow("ten slots") << QByteArray(good).replace("100000001", "1000000010");
        QTest::newRow("a flag that is no 0 or 1") << QByteArray(good).replace("100000001", "10000000x");
        QTest::newRow("lines swapped") << QByteArray("VELTORA-STATE 1\nSENT=100000001\nADDRESS=192.0.2.1\n");
        QTest::newRow("a line more") << good + "EXTRA=1\n";
        QTest::newRow("format 2 without its IPv6 line") << QByteArray(good).replace("STATE 1", "STATE 2") + "\n";
        QTest::newRow("an empty line more") << good + "\n";
        QTest::newRow("CR LF line ends") << QByteArray(good).replace("\n", "\r\n");
        QTest::newRow("raw bytes in the address") << QByteArray(good).replace("192.0.2.1", "\xff\xfe");
        QTest::newRow("an address of 2 KiB") << QByteArray(good).replace("192.0.2.1", QByteArray(2048, 'a'));
    }
    void rejected()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!readState(bytes).has_value());
    }

    void loadAndSave_data()
    {
        QTest::addColumn<bool>("readOnlyFolder"); // with a state file in it that can be written in place
        QTest::newRow("a writable folder") << false;
        QTest::newRow("a read-only folder: written in place") << true;
    }
    void loadAndSave()
    {
        QFETCH(bool, readOnlyFolder);
        if (readOnlyFolder) {
            const UnprivilegedRun run = runCurrentCaseUnprivileged(); // root writes anywhere
            if (run.handedOver) {
                QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
                return;
            }
        }
        TemporaryWorkDir dir;
        QVERIFY(dir.isValid());
        if (readOnlyFolder) {
            QVERIFY(writeFile(QStringLiteral("Veltora.state"), "old"));
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        QVERIFY(!loadState().has_value()); // missing, or no state
        OnceState state;
        state.lastAddress = QStringLiteral("198.51.100.2");
        state.changeSent[4] = true;
        QVERIFY(saveState(state));
        QVERIFY(loadState() == std::optional<OnceState>(state));
        QCOMPARE(fileBytes(QStringLiteral("Veltora.state")), formatState(state));

        // A file far bigger than any state is not read whole.
        QVERIFY(writeFile(QStringLiteral("Veltora.state"), formatState(state) + QByteArray(MaxStateFileSize, '\n')));
        QVERIFY(!loadState().has_value());
        QVERIFY(QFile::setPermissions(dir.path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }
};

QTEST_GUILESS_MAIN(TestOnceState)
#include "test_once_state.moc"
