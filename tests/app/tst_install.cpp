// Installs the program into a temporary prefix and looks at it as the desktop and a user would.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layout();
    void desktopEntryValidates();
    void storeLivesBesideTheProgram();
    void commandLineReadsTheSameStore();
    void installedForEveryone_data();
    void installedForEveryone();
    void cleanupTestCase();

private:
    QTemporaryDir prefix;
};

namespace {

constexpr int Nobody = 65534;

QByteArray StoreOf(const char* name) {
    return QByteArray("[entryno0]\r\nentryname=") + name +
           "\r\naddress=10.0.0.1\r\nport=69\r\nlocalfile=/srv/core.bin\r\nremotefile=core.bin\r\n";
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Starts an installed program as a user who may not write the program's folder: root's own
// install, run by nobody; or, for a tester who is not root, the folder made read-only.
void StartAsUser(QProcess& process, const QString& program, const QStringList& arguments) {
    process.setWorkingDirectory(QDir::tempPath());
    if (geteuid() == 0) {
        process.start(QStringLiteral("setpriv"), QStringList{"--reuid=65534", "--regid=65534",
                                                             "--clear-groups", "--", program} +
                                                     arguments);
    } else {
        process.start(program, arguments);
    }
}

// Whether a started program opens the pipe at path for reading, which shows from here as a
// writer's open that succeeds; the program is ended either way.
bool OpensPipe(QProcess& program, const QString& path) {
    int pipe = -1;
    for (int attempt = 0; attempt < 200 && pipe < 0; ++attempt) {
        pipe = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (pipe < 0) {
            QTest::qWait(50);
        }
    }
    if (pipe >= 0) {
        ::close(pipe);
    }
    program.kill();
    program.waitForFinished();
    return pipe >= 0;
}

} // namespace

void TestInstall::initTestCase() {
    QProcess install;
    // As a component, so that the manifest of the user's own install is left alone.
    install.start(QStringLiteral("cmake"), {"--install", ZANVEL_BINARY_DIR, "--prefix",
                                            prefix.path(), "--component", "Unspecified"});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
}

void TestInstall::layout() {
    const QDir root(prefix.path());
    for (const QString program : {"zanvel-tftp", "zanvel-send"}) {
        const QFileInfo link(root.filePath("bin/" + program));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), root.filePath("lib/zanvel-tftp/" + program));
        QVERIFY(QFileInfo(root.filePath("lib/zanvel-tftp/" + program)).isExecutable());
    }
    for (const char* file :
         {"share/icons/hicolor/scalable/apps/zanvel-tftp.svg",
          "share/icons/hicolor/32x32/apps/zanvel-tftp.png", "share/doc/zanvel-tftp/README.md",
          "share/doc/zanvel-tftp/docs/main-window.png", "share/man/man1/zanvel-tftp.1",
          "share/man/man1/zanvel-send.1", "share/metainfo/org.zanvel.tftp.metainfo.xml"}) {
        QVERIFY2(QFileInfo(root.filePath(file)).size() > 0, file);
    }
}

void TestInstall::desktopEntryValidates() {
    const QString validate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validate.isEmpty()) {
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    }
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(validate, {prefix.filePath("share/applications/zanvel-tftp.desktop")});
    QVERIFY(check.waitForFinished(10000));
    QVERIFY2(check.exitCode() == 0, check.readAll().constData());
    QCOMPARE(check.readAll(), QByteArray());
}

void TestInstall::storeLivesBesideTheProgram() {
    // A pipe in the store's place: the program, started through the link, must open exactly
    // this path to read its list, and the open is seen from here.
    const QString store = prefix.filePath("lib/zanvel-tftp/entrys.txt");
    QVERIFY(mkfifo(QFile::encodeName(store).constData(), 0600) == 0);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(QDir::tempPath());
    program.start(prefix.filePath("bin/zanvel-tftp"), {});
    QVERIFY(program.waitForStarted());
    const bool opened = OpensPipe(program, store);
    QVERIFY2(opened, "the installed program did not read lib/zanvel-tftp/entrys.txt");
}

void TestInstall::commandLineReadsTheSameStore() {
    const QString store = prefix.filePath("lib/zanvel-tftp/entrys.txt");
    QFile::remove(store);
    QFile file(store);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[entryno0]\r\nentryname=core\r\naddress=10.0.0.1\r\nport=69\r\n"
               "localfile=/srv/core.bin\r\nremotefile=core.bin\r\n");
    file.close();
    QProcess send;
    send.setWorkingDirectory(QDir::tempPath());
    send.start(prefix.filePath("bin/zanvel-send"), {"--list"});
    QVERIFY(send.waitForFinished(10000));
    QCOMPARE(send.exitCode(), 0);
    QCOMPARE(send.readAllStandardOutput(),
             QByteArray("core\t10.0.0.1\t69\t/srv/core.bin\tcore.bin\n"));
    send.start(prefix.filePath("bin/zanvel-send"), {"--version"});
    QVERIFY(send.waitForFinished(10000));
    QCOMPARE(send.readAllStandardOutput(), QByteArray("zanvel-send 1.02\n"));
}

void TestInstall::installedForEveryone_data() {
    QTest::addColumn<bool>("configHomeSet");
    QTest::addColumn<bool>("usersOwn");
    QTest::addColumn<QByteArray>("listed");
    QTest::newRow("XDG_CONFIG_HOME") << true << true << QByteArray("mine");
    QTest::newRow("~/.config") << false << true << QByteArray("mine");
    QTest::newRow("none of the user's yet: the shipped one")
        << true << false << QByteArray("shipped");
}

void TestInstall::installedForEveryone() {
    QFETCH(bool, configHomeSet);
    QFETCH(bool, usersOwn);
    QFETCH(QByteArray, listed);
    const QString programDir = prefix.filePath("lib/zanvel-tftp");
    WriteAll(programDir + "/entrys.txt", StoreOf("shipped"));
    QVERIFY(QFile::setPermissions(prefix.path(),
                                  QFile::permissions(prefix.path()) | QFileDevice::ExeOther));
    QVERIFY(::chmod(QFile::encodeName(programDir).constData(), 0555) == 0);
    QTemporaryDir home;
    QVERIFY(::chown(QFile::encodeName(home.path()).constData(), Nobody, Nobody) == 0 ||
            geteuid() != 0);
    const QString configHome = home.filePath(configHomeSet ? "config" : ".config");
    const QString usersStore = configHome + "/zanvel-tftp/entrys.txt";
    if (usersOwn) {
        WriteAll(usersStore, StoreOf("mine"));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.remove("XDG_CONFIG_HOME");
    if (configHomeSet) {
        environment.insert("XDG_CONFIG_HOME", configHome);
    }
    environment.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess send;
    send.setProcessEnvironment(environment);
    StartAsUser(send, prefix.filePath("bin/zanvel-send"), {"--list"});
    QVERIFY(send.waitForFinished(10000));
    QVERIFY2(send.exitCode() == 0, send.readAllStandardError().constData());
    QCOMPARE(send.readAllStandardOutput(), listed + "\t10.0.0.1\t69\t/srv/core.bin\tcore.bin\n");

    // The window reads the same file: a pipe in its place shows the open.
    const QString read = usersOwn ? usersStore : programDir + "/entrys.txt";
    QVERIFY(::chmod(QFile::encodeName(programDir).constData(), 0755) == 0);
    QFile::remove(read);
    QVERIFY(mkfifo(QFile::encodeName(read).constData(), 0666) == 0);
    QVERIFY(::chmod(QFile::encodeName(read).constData(), 0666) == 0);
    QVERIFY(::chmod(QFile::encodeName(programDir).constData(), 0555) == 0);
    QProcess program;
    program.setProcessEnvironment(environment);
    StartAsUser(program, prefix.filePath("bin/zanvel-tftp"), {});
    QVERIFY(program.waitForStarted());
    const bool opened = OpensPipe(program, read);
    QVERIFY(::chmod(QFile::encodeName(programDir).constData(), 0755) == 0);
    QFile::remove(programDir + "/entrys.txt");
    QVERIFY2(opened, qPrintable("the program did not read " + read));
}

void TestInstall::cleanupTestCase() {
    // A tester who is not root could not remove the install otherwise.
    ::chmod(QFile::encodeName(prefix.filePath("lib/zanvel-tftp")).constData(), 0755);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
