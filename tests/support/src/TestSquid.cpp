#include "testsupport/TestSquid.h"

#include <QTcpSocket>

#include "testsupport/ServerUtil.h"

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

const char kNcsaAuth[] = "/usr/lib/squid/basic_ncsa_auth";

QAtomicInt g_instance;

// An MD5-crypt password line for basic_ncsa_auth.
bool passwordLine(const QString& user, const QString& password, QByteArray* line, QString* error) {
    QProcess p;
    p.start(findBinary(QStringLiteral("openssl")),
            {QStringLiteral("passwd"), QStringLiteral("-1"), QStringLiteral("-stdin")});
    p.waitForStarted(10000);
    p.write(password.toUtf8() + '\n');
    p.closeWriteChannel();
    if (!p.waitForFinished(10000) || p.exitCode() != 0) {
        *error = QStringLiteral("openssl passwd failed: %1").arg(QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    *line = user.toUtf8() + ':' + p.readAllStandardOutput().trimmed() + '\n';
    return true;
}

// Hands the whole prefix to `user` (squid drops root for it).
void giveTo(const QString& root, uid_t uid, gid_t gid) {
    // Failures show up as squid's own complaint in the failure report.
    QStringList paths{root};
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) paths << it.next();
    for (const QString& path : paths) {
        if (chown(QFile::encodeName(path).constData(), uid, gid) != 0) continue;
    }
    if (chmod(QFile::encodeName(root).constData(), 0755) != 0) return;
}

}  // namespace

TestSquid::TestSquid() : TestServer(QStringLiteral("squid")) {}

void TestSquid::addConfig(const QString& snippet) { m_snippets.append(snippet); }

int TestSquid::port() const { return m_ports.isEmpty() ? 0 : m_ports.first(); }

QString TestSquid::proxyUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

QString TestSquid::configPath() const { return m_prefix.path() + QStringLiteral("/squid.conf"); }

QString TestSquid::cacheLogPath() const { return m_prefix.path() + QStringLiteral("/logs/cache.log"); }

QString TestSquid::accessLogPath() const { return m_prefix.path() + QStringLiteral("/logs/access.log"); }

bool TestSquid::start(QString* error) { return start(QString(), QString(), error); }

bool TestSquid::start(const QString& user, const QString& password, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const QString squid = findBinary(QStringLiteral("squid"));
    if (squid.isEmpty()) return fail(missingBinaryMessage(QStringLiteral("squid")));
    const QString p = m_prefix.path();
    m_prefix.makeDir(QStringLiteral("logs"));

    QString auth;
    if (!user.isEmpty()) {
        if (!QFileInfo::exists(QString::fromLatin1(kNcsaAuth)))
            return fail(QStringLiteral("squid: %1 is missing").arg(QString::fromLatin1(kNcsaAuth)));
        QByteArray line;
        QString why;
        if (!passwordLine(user, password, &line, &why)) return fail(QStringLiteral("squid: ") + why);
        m_prefix.writeFile(QStringLiteral("passwd"), line);
        auth = QStringLiteral(
                   "auth_param basic program %1 %2/passwd\n"
                   "auth_param basic children 2 startup=0 idle=1\n"
                   "auth_param basic realm Corvane test proxy\n"
                   "acl authenticated proxy_auth REQUIRED\n")
                   .arg(QString::fromLatin1(kNcsaAuth), p);
    }

    // A service name of its own: squid names its shared-memory segments after
    // it, so parallel instances do not collide, and the guard removes them even
    // when squid was killed.
    const QString service = QStringLiteral("zntest%1x%2").arg(getpid()).arg(g_instance.fetchAndAddRelaxed(1));
    const QStringList shm{QStringLiteral("/dev/shm/%1-cf__metadata.shm").arg(service),
                          QStringLiteral("/dev/shm/%1-cf__queues.shm").arg(service),
                          QStringLiteral("/dev/shm/%1-cf__readers.shm").arg(service)};

    QString effectiveUser;
    uid_t uid = 0;
    gid_t gid = 0;
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("proxy");
        if (!pw) pw = getpwnam("nobody");
        if (!pw) return fail(QStringLiteral("squid: neither the user \"proxy\" nor \"nobody\" exists"));
        effectiveUser = QString::fromLocal8Bit(pw->pw_name);
        uid = pw->pw_uid;
        gid = pw->pw_gid;
    }

    int probePort = 0;
    auto prepare = [&](const QList<int>& ports, Launch* l, QString* why) {
        probePort = ports.first();
        QString c = QStringLiteral(
                        "http_port 127.0.0.1:%1\n"
                        "pid_filename %2/logs/squid.pid\n"
                        "logformat zn_test %rm %ru %>Hs %Ss %<st %un\n"
                        "access_log stdio:%2/logs/access.log zn_test\n"
                        "buffered_logs off\n"
                        "cache_log %2/logs/cache.log\n"
                        "cache_store_log none\n"
                        "coredump_dir %2\n"
                        "netdb_filename none\n"
                        "pinger_enable off\n"
                        "cache deny all\n"
                        "cache_mem 0 MB\n"
                        "memory_cache_shared off\n"
                        "shared_transient_entries_limit 0\n"
                        "dns_nameservers 127.0.0.1\n"
                        "visible_hostname localhost\n"
                        "shutdown_lifetime 0 seconds\n"
                        "logfile_rotate 0\n")
                        .arg(ports.first())
                        .arg(p);
        if (!effectiveUser.isEmpty()) c += QStringLiteral("cache_effective_user %1\n").arg(effectiveUser);
        c += auth;
        for (const QString& s : m_snippets) c += s + QLatin1Char('\n');
        // Only loopback destinations, whatever port: nothing leaves the machine.
        c += QStringLiteral(
            "acl from_loopback src 127.0.0.0/8 ::1\n"
            "acl to_loopback dst 127.0.0.0/8 ::1\n"
            "http_access deny !to_loopback\n");
        c += user.isEmpty() ? QStringLiteral("http_access allow from_loopback\n")
                            : QStringLiteral("http_access allow from_loopback authenticated\n");
        c += QStringLiteral("http_access deny all\n");
        QFile conf(configPath());
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *why = QStringLiteral("cannot write %1").arg(configPath());
            return false;
        }
        conf.write(c.toUtf8());
        conf.close();
        if (geteuid() == 0) giveTo(p, uid, gid);
        l->program = squid;
        l->arguments =
            QStringList{QStringLiteral("-N"), QStringLiteral("-n"), service, QStringLiteral("-f"), configPath()};
        l->cleanupFiles = shm;
        // Squid takes two seconds to shut down whatever shutdown_lifetime says;
        // nothing of it needs to survive, so it is killed at once (the guard
        // removes its shared memory).
        l->graceMs = 0;
        l->extraLogs = QStringList{cacheLogPath()};
        return true;
    };
    // Squid accepts connections before it serves them: it counts as ready once
    // it answers a request (a bare "GET /", which it answers itself with an
    // error page and logs as an invalid request).
    auto ready = [&probePort]() {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(probePort));
        if (!probe.waitForConnected(1000)) return false;
        probe.write("GET / HTTP/1.0\r\n\r\n");
        QByteArray answer;
        while (answer.size() < 5 && probe.waitForReadyRead(1000)) answer += probe.readAll();
        return answer.startsWith("HTTP/");
    };
    return launch(QStringLiteral("squid"), 1, prepare, error, ready);
}

QList<ProxyLogEntry> TestSquid::parseAccessLog(const QByteArray& text) {
    QList<ProxyLogEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6) continue;
        // The readiness checks: a connection closed before a request, and the
        // bare "GET /" that squid answers itself (no proxied URL is relative).
        if (f.at(1).startsWith("error:") || f.at(1) == "/") continue;
        ProxyLogEntry e;
        e.method = QString::fromLatin1(f.at(0));
        e.url = QString::fromUtf8(f.at(1));
        e.status = f.at(2).toInt();
        e.squidStatus = QString::fromLatin1(f.at(3));
        e.bytes = f.at(4).toLongLong();
        e.user = f.at(5) == "-" ? QString() : QString::fromUtf8(f.at(5));
        entries.append(e);
    }
    return entries;
}

QList<ProxyLogEntry> TestSquid::accessLog(int atLeast, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QFile f(accessLogPath());
        QList<ProxyLogEntry> entries;
        if (f.open(QIODevice::ReadOnly)) entries = parseAccessLog(f.readAll());
        if (entries.size() >= atLeast || deadline.hasExpired()) return entries;
        QThread::msleep(20);
    }
}

}  // namespace testsupport
