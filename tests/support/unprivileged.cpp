#include "unprivileged.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

UnprivilegedRun runCurrentCaseUnprivileged()
{
    UnprivilegedRun run;
    if (::geteuid() != 0)
        return run;
    run.handedOver = true;

    // The build folder need not be open to nobody: the program runs from a copy in a folder that is.
    QTemporaryDir dir(QStringLiteral("/tmp/veltora-unprivileged-XXXXXX"));
    const QString program = dir.filePath(QCoreApplication::applicationName());
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
    if (!dir.isValid() || !QFile::setPermissions(dir.path(), everyone) ||
        !QFile::copy(QCoreApplication::applicationFilePath(), program) || !QFile::setPermissions(program, everyone)) {
        run.failure = QStringLiteral("cannot copy the test program to a folder nobody can reach");
        return run;
    }

    const QString testCase = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char(':') +
                             QString::fromLatin1(QTest::currentDataTag());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(QStringLiteral("/tmp"));
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                            QStringLiteral("--clear-groups"), program, testCase});
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        run.failure = QStringLiteral("the case as nobody did not end: ") + child.errorString();
        return run;
    }
    const QByteArray output = child.readAll();
    // A skip, or a run of no case at all, would exit 0 as well: the child must report this very case passed.
    const QByteArray passed = "::" + QByteArray(QTest::currentTestFunction()) + '(' + QTest::currentDataTag() + ')';
    bool seen = false;
    for (const QByteArray& line : output.split('\n'))
        seen = seen || (line.startsWith("PASS   : ") && line.endsWith(passed));
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !seen)
        run.failure = QStringLiteral("the case as nobody:\n") + QString::fromLocal8Bit(output);
    return run;
}
