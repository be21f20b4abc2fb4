#include "Script.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>
#include <QVariant>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace sorvel {

namespace {

std::mutex g_callLogMutex;

ScriptStep parseStep(const QJsonObject& object) {
    ScriptStep step;
    step.state = object.value(QStringLiteral("state")).toInt();
    step.delayMs = object.value(QStringLiteral("delay")).toInt();
    step.waitStop = object.value(QStringLiteral("waitStop")).toBool();
    step.waitStopTimeoutMs = object.value(QStringLiteral("waitStopTimeout")).toInt(30000);
    const QJsonValue record = object.value(QStringLiteral("record"));
    step.nullRecord = record.isNull();
    step.record = record.toObject();
    return step;
}

}  // namespace

std::filesystem::path libraryFolder() {
    // The path the library was loaded by (not resolved through links), so an
    // application folder that links the library in is the folder.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) && info.dli_fname)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

std::filesystem::path rootFromEnvironment() {
    const char* root = std::getenv("SORVEL_ROOT");
    if (root && *root) return std::filesystem::path(root);
    return libraryFolder() / "SorvelDemo";
}

void writeCallLog(const std::string& line) {
    const char* path = std::getenv("SORVEL_CALL_LOG");
    if (!path || !*path) return;
    std::lock_guard<std::mutex> lock(g_callLogMutex);
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

std::string logText(const std::wstring& text) {
    const std::string utf8 = QString::fromStdWString(text).toStdString();
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    out += '"';
    return out;
}

std::string logPointer(const void* pointer) {
    if (!pointer) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return buffer;
}

std::string logBool(bool value) { return value ? "true" : "false"; }

std::string logList(const std::vector<int>* list) {
    if (!list) return "null";
    std::string out = "[";
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (i) out += ',';
        out += std::to_string((*list)[i]);
    }
    out += ']';
    return out;
}

int CallCounter::next(const std::string& operation) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts[operation]++;
}

ScriptedCall findScriptedCall(const std::string& operation, int callIndex) {
    ScriptedCall call;
    const char* path = std::getenv("SORVEL_SCRIPT");
    if (!path || !*path) return call;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "Sorvel: cannot read the script %s\n", path);
        return call;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        std::fprintf(stderr, "Sorvel: the script %s is not a JSON object: %s\n", path,
                     error.errorString().toLocal8Bit().constData());
        return call;
    }
    QJsonValue entry = document.object().value(QString::fromStdString(operation));
    if (entry.isUndefined()) return call;
    if (entry.isArray()) {
        const QJsonArray calls = entry.toArray();
        if (calls.isEmpty()) return call;
        entry = calls.at(std::min(callIndex, calls.size() - 1));
    }
    const QJsonObject object = entry.toObject();
    call.scripted = true;
    call.result = object.value(QStringLiteral("result"));
    for (const QJsonValue step : object.value(QStringLiteral("callbacks")).toArray())
        call.steps.push_back(parseStep(step.toObject()));
    return call;
}

std::wstring jsonWide(const QJsonObject& record, const char* key) {
    return record.value(QLatin1String(key)).toString().toStdWString();
}

std::vector<std::wstring> jsonWideList(const QJsonObject& record, const char* key) {
    std::vector<std::wstring> list;
    for (const QJsonValue value : record.value(QLatin1String(key)).toArray())
        list.push_back(value.toString().toStdWString());
    return list;
}

int jsonInt(const QJsonObject& record, const char* key, int fallback) {
    const QJsonValue value = record.value(QLatin1String(key));
    if (value.isBool()) return value.toBool() ? 1 : 0;
    return value.toInt(fallback);
}

std::int64_t jsonInt64(const QJsonObject& record, const char* key) {
    return record.value(QLatin1String(key)).toVariant().toLongLong();
}

}  // namespace sorvel
