#include "host/stand_ins.h"

#include "host_test_util.h"

namespace {

std::shared_ptr<kvad::DateObject> NewDate() {
    kvad::host::RegisterStandIns({});
    return kvad::CreateObjectAs<kvad::DateObject>(kvad::progid::kDate);
}

TEST(DateObject, ItalianAndIsoTextGiveTheDatabaseForm) {
    auto date = NewDate();
    const std::pair<const char*, const char*> cases[] = {
        {"31/12/2024", "2024-12-31 00:00:00"},
        {"5/3/2024 08:15:30", "2024-03-05 08:15:30"},
        {" 2024-02-29 ", "2024-02-29 00:00:00"},
        {"2023-06-01T13:45:10", "2023-06-01 13:45:10"},
    };
    for (const auto& [text, dbFormat] : cases) {
        date->SetValue(text);
        EXPECT_EQ(date->ErrorIndicator(), 0) << text;
        EXPECT_EQ(date->DBFormat(), dbFormat);
    }
}

TEST(DateObject, InvalidTextSetsTheErrorIndicatorAndAValidOneClearsIt) {
    auto date = NewDate();
    for (const char* text : {"", "abc", "31/02/2023", "2023-13-01", "12.5"}) {
        SCOPED_TRACE(text);
        date->SetValue(text);
        EXPECT_NE(date->ErrorIndicator(), 0);
        hosttest::ExpectVbError(kvad::vberr::kTypeMismatch, [&] { (void)date->DBFormat(); });
    }
    date->SetValue("01/01/2025");
    EXPECT_EQ(date->ErrorIndicator(), 0);
}

} // namespace
