// The fields an answer gets when it is sent: Date in the one form HTTP allows for every
// month and weekday, and Expires the page's minutes after it.
#include "apps/web/WebAnswer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quillax::web;

std::string SendFields(std::time_t now, std::optional<int32_t> expiresMinutes = {}) {
    Answer answer;
    answer.expiresMinutes = expiresMinutes;
    std::string fields;
    AppendSendFields(fields, answer, ConnectionFate::KeepAlive, now);
    return fields;
}

TEST(WebAnswerFields, DatesEachMonthAndWeekday) {
    const struct {
        std::time_t now;
        const char* date;
    } rows[] = {
        {1767225600, "Thu, 01 Jan 2026 00:00:00 GMT"},
        {1772323199, "Sat, 28 Feb 2026 23:59:59 GMT"},
        {1773046177, "Mon, 09 Mar 2026 08:49:37 GMT"},
        {1776168001, "Tue, 14 Apr 2026 12:00:01 GMT"},
        {1780207509, "Sun, 31 May 2026 06:05:09 GMT"},
        {1782066600, "Sun, 21 Jun 2026 18:30:00 GMT"},
        {1783156149, "Sat, 04 Jul 2026 09:09:09 GMT"},
        {1786891530, "Sun, 16 Aug 2026 14:45:30 GMT"},
        {1790809200, "Wed, 30 Sep 2026 23:00:00 GMT"},
        {1791680523, "Sun, 11 Oct 2026 01:02:03 GMT"},
        {1794219630, "Mon, 09 Nov 2026 10:20:30 GMT"},
        {1796832059, "Wed, 09 Dec 2026 16:00:59 GMT"},
        {1709210096, "Thu, 29 Feb 2024 12:34:56 GMT"},
        {1798761600, "Fri, 01 Jan 2027 00:00:00 GMT"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.date);
        EXPECT_EQ(SendFields(row.now), "Date: " + std::string(row.date) + "\r\n\r\n");
    }
}

TEST(WebAnswerFields, ExpiresThePagesMinutesAfterTheDate) {
    EXPECT_EQ(SendFields(1798759800, 60), "Date: Thu, 31 Dec 2026 23:30:00 GMT\r\n"
                                          "Expires: Fri, 01 Jan 2027 00:30:00 GMT\r\n\r\n");
    EXPECT_EQ(SendFields(1709210096, 0), "Date: Thu, 29 Feb 2024 12:34:56 GMT\r\n"
                                         "Expires: Thu, 29 Feb 2024 12:34:56 GMT\r\n\r\n");
}

} // namespace
