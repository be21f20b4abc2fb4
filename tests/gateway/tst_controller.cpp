// CController: each forwarding operation hands its arguments to the engine
// unchanged, returns the engine's result and writes exactly one log line; the
// user-data item list stays whole under concurrent appends; a missing engine
// library or factory is reported, and the controller stays safe to call.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "gateway/Controller.h"
#include "platform/Programs.h"

namespace {

// Qt's debug output of the code under test, line by line.
QStringList g_messages;
QMutex g_messagesMutex;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    QMutexLocker lock(&g_messagesMutex);
    g_messages.append(message);
}

QStringList takeMessages() {
    QMutexLocker lock(&g_messagesMutex);
    QStringList messages = g_messages;
    g_messages.clear();
    return messages;
}

QString hex(const void* pointer) {
    return QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(pointer), 16);
}

struct CallbackSeen {
    std::atomic<int> calls{0};
    std::atomic<void*> context{nullptr};
};
CallbackSeen g_seen;

void testCallback(void* context, int, void*) {
    g_seen.context = context;
    ++g_seen.calls;
}

// An item whose every field follows from `n`, so a torn copy shows.
ST_ITUNES_USERDATA_ITEM makeItem(int n) {
    ST_ITUNES_USERDATA_ITEM item;
    item.type = n % 4 + 1;
    item.subType = n % 19 + 1;
    item.size = n;
    item.categorySize = 2LL * n;
    item.stBackupInfo.id = n;
    item.stBackupInfo.strName = L"device with a name long enough for the heap #" + std::to_wstring(n);
    item.stBackupInfo.strTime = L"2024-01-01T00:00:00Z/" + std::to_wstring(n);
    item.stBackupInfo.dirSize = 3LL * n;
    item.stBackupInfo.isVaild = 1;
    return item;
}

bool isWhole(const ST_ITUNES_USERDATA_ITEM& item) {
    const ST_ITUNES_USERDATA_ITEM expected = makeItem(item.stBackupInfo.id);
    return item.type == expected.type && item.subType == expected.subType && item.size == expected.size &&
           item.categorySize == expected.categorySize && item.stBackupInfo.strName == expected.stBackupInfo.strName &&
           item.stBackupInfo.strTime == expected.stBackupInfo.strTime &&
           item.stBackupInfo.dirSize == expected.stBackupInfo.dirSize;
}

}  // namespace

class TestController : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void forwardsArgumentsAndResult_data();
    void forwardsArgumentsAndResult();
    void versionAndBitness_data();
    void versionAndBitness();
    void callbacksReachTheCallerWithItsContext();

    void brokenEngineIsReported_data();
    void brokenEngineIsReported();

    void itemListEdges();
    void itemListUnderConcurrentAppends();

private:
    void writeScript(const QByteArray& json);
    QStringList callLog();

    QTemporaryDir m_dir;
};

void TestController::initTestCase() {
    QVERIFY(m_dir.isValid());
    qputenv("SORVEL_SCRIPT", QFile::encodeName(m_dir.filePath("script.json")));
    qputenv("SORVEL_CALL_LOG", QFile::encodeName(m_dir.filePath("calls.log")));
    qputenv("SORVEL_ROOT", QFile::encodeName(m_dir.filePath("no-tree")));
    platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
    qInstallMessageHandler(captureMessage);
}

void TestController::cleanup() {
    platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
    QFile::remove(m_dir.filePath("calls.log"));
    takeMessages();
}

void TestController::writeScript(const QByteArray& json) {
    QFile file(m_dir.filePath("script.json"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(json);
}

QStringList TestController::callLog() {
    QFile file(m_dir.filePath("calls.log"));
    if (!file.open(QIODevice::ReadOnly)) return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestController::forwardsArgumentsAndResult_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("result");
    for (const char* op : {"CheckiTunes", "RepairiTunes", "RepairiTunesDamageComponent", "OneKeyUninstall",
                           "OneKeyInstall", "ScaniTunesUserData", "CleaniTuensUserData"}) {
        QTest::addRow("%s true", op) << QString::fromLatin1(op) << true;
        QTest::addRow("%s false", op) << QString::fromLatin1(op) << false;
    }
}

void TestController::forwardsArgumentsAndResult() {
    QFETCH(QString, operation);
    QFETCH(bool, result);
    // The scripted engine answers `result` and sends no callback.
    writeScript(QStringLiteral("{\"%1\": {\"result\": %2}}")
                    .arg(operation, result ? QStringLiteral("true") : QStringLiteral("false"))
                    .toUtf8());
    CController controller;
    QVERIFY2(controller.IsEngineLoaded(), qPrintable(controller.GetEngineLoadError()));
    takeMessages();
    QFile::remove(m_dir.filePath("calls.log"));

    int context = 0;
    bool stop = false;
    std::vector<int> subTypes = {1, 13, 19};
    std::vector<int> backupIds = {2, 5};
    const QString folder = QStringLiteral("/opt/Corvane/iTunesSetup \u00e9");
    const QString c =
        QStringLiteral("callback=%1 context=%2").arg(hex(reinterpret_cast<void*>(&testCallback)), hex(&context));
    const QString r = result ? QStringLiteral(" -> true") : QStringLiteral(" -> false");

    struct Row {
        std::function<bool()> call;
        QString engineLine;
        const char* logText;
    };
    const std::map<QString, Row> rows = {
        {"CheckiTunes",
         {[&] { return controller.CheckiTunes(testCallback, &context); }, "CheckiTunes " + c + " reserved=0" + r,
          "isResult================CheckiTunes=========================="}},
        {"RepairiTunes",
         {[&] { return controller.RepairiTunes(folder, testCallback, &context); },
          "RepairiTunes installerDir=\"" + folder + "\" " + c + r,
          "isResult==============RepairiTunes============================"}},
        {"RepairiTunesDamageComponent",
         {[&] { return controller.RepairiTunesDamageComponent(testCallback, &context); },
          "RepairiTunesDamageComponent " + c + r,
          "isResult==============RepairiTunesDamageComponent============================"}},
        {"OneKeyUninstall",
         {[&] { return controller.OneKeyUninstall(testCallback, &context, true, &stop); },
          "OneKeyUninstall " + c + " deleteUserData=true stop=" + hex(&stop) + r,
          "isResult==============OneKeyUninstall============================"}},
        {"OneKeyInstall",
         {[&] { return controller.OneKeyInstall(folder, testCallback, &context); },
          "OneKeyInstall installerDir=\"" + folder + "\" " + c + r,
          "isResult==============OneKeyInstall============================"}},
        {"ScaniTunesUserData",
         {[&] { return controller.ScaniTunesUserData(testCallback, &context, true, &stop); },
          "ScaniTunesUserData " + c + " deepScan=true stop=" + hex(&stop) + r,
          "isResult==============ScaniTunesUserData============================"}},
        {"CleaniTuensUserData",
         {[&] { return controller.CleaniTuensUserData(testCallback, &context, &subTypes, &backupIds, &stop); },
          "CleaniTuensUserData " + c + " subTypes=[1,13,19] backupIds=[2,5] stop=" + hex(&stop) + r,
          "isResult==============CleaniTuensUserData============================"}},
    };
    const Row& row = rows.at(operation);

    QCOMPARE(row.call(), result);
    QCOMPARE(callLog(), QStringList{row.engineLine});
    QCOMPARE(takeMessages(), QStringList{QString::fromLatin1(row.logText) + (result ? " true" : " false")});
}

void TestController::versionAndBitness_data() {
    QTest::addColumn<int>("engineBit");
    QTest::addColumn<int>("bit");
    QTest::newRow("1 is 64-bit") << 1 << 64;
    QTest::newRow("0") << 0 << 32;
    QTest::newRow("2") << 2 << 32;
    QTest::newRow("-1") << -1 << 32;
}

void TestController::versionAndBitness() {
    QFETCH(int, engineBit);
    QFETCH(int, bit);
    writeScript(QStringLiteral("{\"GetiTunesVersion\": {\"result\": \"12.10.11.2 \u00df\"},"
                               " \"GetiTunesVersionBit\": {\"result\": %1},"
                               " \"OpeniTunes\": {\"result\": -7}}")
                    .arg(engineBit)
                    .toUtf8());
    CController controller;
    takeMessages();
    QCOMPARE(controller.GetiTunesVersion(), QStringLiteral("12.10.11.2 \u00df"));
    QCOMPARE(controller.GetiTunesVersionBit(), bit);
    QCOMPARE(controller.OpeniTunes(), -7);
    // These three write no log line of their own.
    QCOMPARE(takeMessages(), QStringList());
}

void TestController::callbacksReachTheCallerWithItsContext() {
    writeScript(R"({"OneKeyUninstall": {"callbacks": [{"state": 1}, {"state": 6}]}})");
    CController controller;
    int context = 0;
    g_seen.calls = 0;
    QVERIFY(controller.OneKeyUninstall(testCallback, &context, false, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(g_seen.calls.load(), 2, 30000);
    QCOMPARE(g_seen.context.load(), static_cast<void*>(&context));
}

void TestController::brokenEngineIsReported_data() {
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("no library") << m_dir.filePath("empty") << "could not be loaded";
    QTest::newRow("no CreateFixItuensMgr") << ZN_FAKE_ENGINES_DIR "/no_fix_factory"
                                           << "CreateFixItuensMgr";
    QTest::newRow("no CreateItunesUserDataMgr") << ZN_FAKE_ENGINES_DIR "/no_userdata_factory"
                                                << "CreateItunesUserDataMgr";
    QTest::newRow("factories return nothing") << ZN_FAKE_ENGINES_DIR "/null_managers"
                                              << "could not create";
}

void TestController::brokenEngineIsReported() {
    QFETCH(QString, appDir);
    QFETCH(QString, errorPart);
    QDir().mkpath(appDir);
    platform::setApplicationDir(appDir);
    CController controller;
    QVERIFY(!controller.IsEngineLoaded());
    QVERIFY2(controller.GetEngineLoadError().contains(errorPart), qPrintable(controller.GetEngineLoadError()));
    QVERIFY(controller.GetEngineLoadError().contains(appDir + "/libSorvel.so"));
    takeMessages();

    // Without an engine nothing is called, nothing crashes, everything fails.
    bool stop = false;
    std::vector<int> list;
    QCOMPARE(controller.GetiTunesVersion(), QString());
    QCOMPARE(controller.GetiTunesVersionBit(), 32);
    QCOMPARE(controller.OpeniTunes(), 0);
    QVERIFY(!controller.CheckiTunes(testCallback, nullptr));
    QVERIFY(!controller.RepairiTunes("/x", testCallback, nullptr));
    QVERIFY(!controller.RepairiTunesDamageComponent(testCallback, nullptr));
    QVERIFY(!controller.OneKeyUninstall(testCallback, nullptr, true, &stop));
    QVERIFY(!controller.OneKeyInstall("/x", testCallback, nullptr));
    QVERIFY(!controller.ScaniTunesUserData(testCallback, nullptr, false, &stop));
    QVERIFY(!controller.CleaniTuensUserData(testCallback, nullptr, &list, &list, &stop));
    // Still one line per forwarding call.
    QCOMPARE(takeMessages().size(), 7);
}

void TestController::itemListEdges() {
    CController controller;
    QVERIFY(!controller.GetUserDataItem(0));
    controller.ClearUserDataItems();  // empty: nothing happens
    QCOMPARE(controller.GetUserDataItemCount(), 0);

    for (int n = 1; n <= 3; ++n) controller.AddUserDataItem(makeItem(n));
    QCOMPARE(controller.GetUserDataItemCount(), 3);
    QVERIFY(!controller.GetUserDataItem(-1));
    QVERIFY(!controller.GetUserDataItem(3));
    const auto last = controller.GetUserDataItem(2);
    QVERIFY(last);
    QCOMPARE(last->stBackupInfo.id, 3);
    QVERIFY(isWhole(*last));

    controller.ClearUserDataItems();
    QCOMPARE(controller.GetUserDataItemCount(), 0);
    QVERIFY(!controller.GetUserDataItem(0));
    // The copy handed out earlier is the caller's own.
    QVERIFY(isWhole(*last));
}

void TestController::itemListUnderConcurrentAppends() {
    CController controller;
    constexpr int kWriters = 8;
    constexpr int kPerWriter = 3000;
    std::atomic<int> writersDone{0};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};

    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            for (int i = 0; i < kPerWriter; ++i) controller.AddUserDataItem(makeItem(w * kPerWriter + i));
            ++writersDone;
        });
    // Readers poll like the scan page does: the count, then the newest item
    // and random ones, while the list grows and moves its storage.
    for (int r = 0; r < 3; ++r)
        threads.emplace_back([&, r] {
            std::mt19937 random(r);
            while (writersDone.load() < kWriters) {
                const int count = controller.GetUserDataItemCount();
                if (count == 0) continue;
                for (int index : {count - 1, static_cast<int>(random() % count)}) {
                    const auto item = controller.GetUserDataItem(index);
                    if (!item || !isWhole(*item)) ++torn;
                    ++reads;
                }
            }
        });
    for (std::thread& thread : threads) thread.join();

    QCOMPARE(torn.load(), 0);
    QVERIFY(reads.load() > 0);
    QCOMPARE(controller.GetUserDataItemCount(), kWriters * kPerWriter);
    std::vector<bool> seen(kWriters * kPerWriter, false);
    for (int i = 0; i < controller.GetUserDataItemCount(); ++i) {
        const auto item = controller.GetUserDataItem(i);
        QVERIFY(item && isWhole(*item));
        seen[item->stBackupInfo.id] = true;
    }
    QVERIFY(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));
}

QTEST_GUILESS_MAIN(TestController)
#include "tst_controller.moc"
