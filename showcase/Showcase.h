#pragma once
// Registry of viewable windows for the screenshot tool (scripts/screenshot).
//
// A view is a function that builds one of our windows in a typical state and
// returns it; the showcase program shows it and writes a PNG. Register views in
// views/<area>_views.cpp:
//
//   ZN_SHOWCASE_VIEW("toolkit/messagebox-yesno") { return new ZnMessageBox(...); }
#include <QString>
#include <QWidget>
#include <functional>
#include <map>

namespace showcase {

using ViewFactory = std::function<QWidget*()>;

std::map<QString, ViewFactory>& registry();

struct Registrar {
    Registrar(const char* name, ViewFactory factory) { registry()[QString::fromUtf8(name)] = std::move(factory); }
};

}  // namespace showcase

#define ZN_SHOWCASE_CONCAT2(a, b) a##b
#define ZN_SHOWCASE_CONCAT(a, b) ZN_SHOWCASE_CONCAT2(a, b)
#define ZN_SHOWCASE_VIEW(name)                                                       \
    static QWidget* ZN_SHOWCASE_CONCAT(zn_showcase_view_, __LINE__)();               \
    static const showcase::Registrar ZN_SHOWCASE_CONCAT(zn_showcase_reg_, __LINE__)( \
        name, &ZN_SHOWCASE_CONCAT(zn_showcase_view_, __LINE__));                     \
    static QWidget* ZN_SHOWCASE_CONCAT(zn_showcase_view_, __LINE__)()
