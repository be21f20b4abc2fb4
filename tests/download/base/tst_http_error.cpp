// The "HTTP" error category: texts, conditions and identity.
#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include "dlhttp/http_error.h"

namespace {

using boost::system::error_code;
namespace errc = boost::system::errc;

TEST(HttpError, MessagesForKnownAndUnknownValues) {
    struct Case {
        int value;
        const char* text;
    };
    const Case cases[] = {
        {1, "Malformed status line"},
        {2, "Malformed response headers"},
        {10, "invalid type requested from entry"},
        {12, "Invalid redirect address"},
        {100, "Continue"},
        {206, "Partial content"},
        {307, "Temporary redirect"},
        {404, "Not found"},
        {408, "Request time-out"},
        {504, "Gateway time-out"},
        {505, "HTTP version not supported"},
        {1006, "SOCKS no identd running"},
        {1007, "SOCKS no identd running"},
        {1008, "Fake continue"},
        {0, "Unknown HTTP error"},
        {306, "Unknown HTTP error"},
        {418, "Unknown HTTP error"},
        {999, "Unknown HTTP error"},
        {-1, "Unknown HTTP error"},
    };
    for (const Case& c : cases) EXPECT_EQ(dlhttp::http_category().message(c.value), c.text) << c.value;
    EXPECT_STREQ(dlhttp::http_category().name(), "HTTP");
}

TEST(HttpError, CodesCarryTheCategoryAndCompareByValue) {
    error_code a = dlhttp::make_error_code(dlhttp::socks_no_identd);
    error_code b = dlhttp::socks_identd_mismatch;  // through is_error_code_enum
    EXPECT_EQ(&a.category(), &dlhttp::http_category());
    EXPECT_EQ(a.message(), b.message());
    EXPECT_NE(a, b);
    EXPECT_TRUE(static_cast<bool>(a));
    EXPECT_EQ(a, dlhttp::make_error_code(dlhttp::socks_no_identd));
    EXPECT_EQ(error_code(404, dlhttp::http_category()), dlhttp::not_found);
}

TEST(HttpError, StatusCodesMapToGenericConditions) {
    EXPECT_TRUE(error_code(dlhttp::not_found) == errc::no_such_file_or_directory);
    EXPECT_TRUE(error_code(dlhttp::forbidden) == errc::permission_denied);
    EXPECT_TRUE(error_code(dlhttp::unauthorized) == errc::permission_denied);
    EXPECT_FALSE(error_code(dlhttp::not_found) == errc::permission_denied);

    error_code not_allowed = dlhttp::method_not_allowed;
    EXPECT_EQ(not_allowed.default_error_condition(), boost::system::error_condition(405, dlhttp::http_category()));
    EXPECT_FALSE(not_allowed == errc::no_such_file_or_directory);
    EXPECT_FALSE(not_allowed == errc::permission_denied);
}

TEST(HttpError, ThrownAsSystemError) {
    try {
        throw boost::system::system_error(dlhttp::make_error_code(dlhttp::invalid_entry_type));
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(e.code(), dlhttp::invalid_entry_type);
    }
}

}  // namespace
