// Installs the program into a temporary prefix and looks at it as the desktop and a user would.

#include <QDir>
#include <QDirIterator>
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
    void commandLineAnswers_data();
    void commandLineAnswers();
    void whereTheListLives_data();
    void whereTheListLives();

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

// Starts a program as its owner, or as a user who may not write the program's folder: nobody
// when this test runs as root; a tester who is not root is both.
void StartAs(QProcess& process, bool owner, const QString& program, const QStringList& arguments) {
    process.setWorkingDirectory(QDir::tempPath());
    if (!owner && geteuid() == 0) {
        process.start(QStringLiteral("setpriv"), QStringList{"--reuid=65534", "--regid=65534",
                                                             "--clear-groups", "--", program} +
                                                     arguments);
    } else {
        process.start(program, arguments);
    }
}

// The user's home and everything in it, made as root, becomes nobody's.
void GiveHomeToNobody(const QString& home) {
    QDirIterator files(home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QVERIFY(::chown(QFile::encodeName(files.next()).constData(), Nobody, Nobody) == 0);
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
        const QFileInfo installed(root.filePath("bin/" + program));
        QVERIFY(installed.isExecutable() && !installed.isSymLink());
    }
    for (const char* file :
         {"share/icons/hicolor/scalable/apps/zanvel-tftp.svg",
          "share/icons/hicolor/16x16/apps/zanvel-tftp.png",
          "share/icons/hicolor/256x256/apps/zanvel-tftp.png", "share/doc/zanvel-tftp/README.md",
          "share/doc/zanvel-tftp/docs/main-window.png", "share/man/man1/zanvel-tftp.1",
          "share/man/man1/zanvel-send.1", "share/metainfo/org.zanvel.tftp.metainfo.xml",
          "share/bash-completion/completions/zanvel-send"}) {
        QVERIFY2(QFileInfo(root.filePath(file)).size() > 0, file);
    }
}

void TestInstall::desktopEntryValidates() {
    const QString validate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validate.isEmpty()) {
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    }
    const QString entry = prefix.filePath("share/applications/org.zanvel.tftp.desktop");
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(validate, {entry});
    QVERIFY(check.waitForFinished(10000));
    QVERIFY2(check.exitCode() == 0, check.readAll().constData());
    QCOMPARE(check.readAll(), QByteArray());
    // Outside the system's PATH, the menu names the program by its path.
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const QByteArray program = QFile::encodeName(prefix.filePath("bin/zanvel-tftp"));
    QVERIFY2(text.contains("\nTryExec=" + program + "\n"), text.constData());
    QVERIFY2(text.contains("\nExec=\"" + program + "\"\n"), text.constData());
}

void TestInstall::commandLineAnswers_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // the start of standard output
    QTest::addColumn<QByteArray>("err"); // what standard error says, after any of Qt's notes
    QTest::newRow("send --version") << "zanvel-send" << QStringList{"--version"} << 0
                                    << QByteArray("zanvel-send 1.02\n") << QByteArray();
    QTest::newRow("window --version") << "zanvel-tftp" << QStringList{"--version"} << 0
                                      << QByteArray("zanvel-tftp 1.02\n") << QByteArray();
    QTest::newRow("window --help")
        << "zanvel-tftp" << QStringList{"--help"} << 0
        << QByteArray("usage: zanvel-tftp [--help | --version]\n") << QByteArray();
    QTest::newRow("window, a file") << "zanvel-tftp" << QStringList{"fw.bin"} << 2 << QByteArray()
                                    << QByteArray("zanvel-tftp: unknown argument fw.bin\nusage:");
    QTest::newRow("window --help and more")
        << "zanvel-tftp" << QStringList{"--help", "-x"} << 2 << QByteArray()
        << QByteArray("zanvel-tftp: unknown argument --help\nusage:");
}

void TestInstall::commandLineAnswers() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    // No display: the answers must not need one. Qt's own options still reach Qt.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", status == 0 ? "xcb" : "offscreen");
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(QDir::tempPath());
    run.start(prefix.filePath("bin/" + program), arguments);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), status);
    QVERIFY2(run.readAllStandardOutput().startsWith(out), qPrintable(program));
    const QByteArray said = run.readAllStandardError();
    QVERIFY2(err.isEmpty() ? said.isEmpty() : said.contains(err), said.constData());
}

void TestInstall::whereTheListLives_data() {
    // Paths starting with @ are in this test's temporary folders: @home is the user's home,
    // @etc the first folder of XDG_CONFIG_DIRS, @bin the folder of the program run.
    QTest::addColumn<bool>("copied");  // the program copied by hand into a folder of its own
    QTest::addColumn<bool>("asOwner"); // run by whoever owns the program (root, for a package)
    QTest::addColumn<QString>("configHome"); // XDG_CONFIG_HOME; empty: unset
    QTest::addColumn<QString>("expected");   // the list the programs read
    const QString own = QStringLiteral("/zanvel-tftp/entrys.txt");
    QTest::newRow("installed, XDG_CONFIG_HOME") << false << false << "@home/config"
                                                << "@home/config" + own;
    QTest::newRow("installed, ~/.config") << false << false << QString() << "@home/.config" + own;
    QTest::newRow("installed, relative XDG_CONFIG_HOME") << false << false << "config"
                                                         << "@home/.config" + own;
    QTest::newRow("installed, run by root") << false << true << QString() << "@home/.config" + own;
    QTest::newRow("installed, the user has no list: the administrator's")
        << false << false << "@home/none"
        << "@etc" + own;
    QTest::newRow("copied by hand") << true << true << "@home/config"
                                    << "@bin/entrys.txt";
}

void TestInstall::whereTheListLives() {
    QFETCH(bool, copied);
    QFETCH(bool, asOwner);
    QFETCH(QString, configHome);
    QFETCH(QString, expected);
    QVERIFY(QFile::setPermissions(prefix.path(),
                                  QFile::permissions(prefix.path()) | QFileDevice::ExeOther));
    QTemporaryDir home, etc, portable;
    QString bin = prefix.filePath("bin");
    if (copied) {
        bin = portable.path();
        for (const QString program : {"zanvel-tftp", "zanvel-send"}) {
            QVERIFY(QFile::copy(prefix.filePath("bin/" + program), bin + "/" + program));
        }
    }
    const auto at = [&](QString path) {
        return path.replace("@home", home.path()).replace("@etc", etc.path()).replace("@bin", bin);
    };
    QVERIFY(::chown(QFile::encodeName(home.path()).constData(), Nobody, Nobody) == 0 ||
            geteuid() != 0);
    QVERIFY(::chmod(QFile::encodeName(etc.path()).constData(), 0755) == 0);
    // Every list a program might read, each with an entry named after its place; only the
    // user's folders that the row names exist.
    const QString mine =
        configHome.isEmpty() || !configHome.startsWith('@') ? "@home/.config" : configHome;
    QMap<QString, QByteArray> lists{{"@etc/zanvel-tftp/entrys.txt", "admin"},
                                    {"@bin/entrys.txt", "beside"}};
    if (!configHome.endsWith("none")) {
        lists.insert(mine + "/zanvel-tftp/entrys.txt", "mine");
    }
    for (auto list = lists.cbegin(); list != lists.cend(); ++list) {
        WriteAll(at(list.key()), StoreOf(list.value().constData()));
    }
    if (geteuid() == 0) {
        GiveHomeToNobody(home.path());
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.remove("XDG_CONFIG_HOME");
    if (!configHome.isEmpty()) {
        environment.insert("XDG_CONFIG_HOME", at(configHome));
    }
    environment.insert("XDG_CONFIG_DIRS", etc.path() + ":/etc/xdg");
    environment.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess send;
    send.setProcessEnvironment(environment);
    StartAs(send, asOwner, bin + "/zanvel-send", {"--list"});
    QVERIFY(send.waitForFinished(10000));
    QVERIFY2(send.exitCode() == 0, send.readAllStandardError().constData());
    const QString read = at(expected);
    const QByteArray listed = lists.value(expected, "?");
    QCOMPARE(send.readAllStandardOutput(), listed + "\t10.0.0.1\t69\t/srv/core.bin\tcore.bin\n");

    // The window reads the same file: a pipe in its place shows the open.
    QFile::remove(read);
    QVERIFY(mkfifo(QFile::encodeName(read).constData(), 0666) == 0);
    QVERIFY(::chmod(QFile::encodeName(read).constData(), 0666) == 0);
    QProcess program;
    program.setProcessEnvironment(environment);
    StartAs(program, asOwner, bin + "/zanvel-tftp", {});
    QVERIFY(program.waitForStarted());
    const bool opened = OpensPipe(program, read);
    QFile::remove(prefix.filePath("bin/entrys.txt"));
    QVERIFY2(opened, qPrintable("the program did not read " + read));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
