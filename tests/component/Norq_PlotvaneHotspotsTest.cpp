// The hint and link templates: fields of the point, of its record and of
// the query; escaping for each place the texts land; links that are not
// relative or http(s) left out; bad templates refused.

#include <gtest/gtest.h>

#include "component/Norq_PlotvaneHotspots.h"
#include "platform/db/DBError.h"
#include "platform/db/MemDataSet.h"
#include "platform/rtl/FormWriter.h"
#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

class PlotvaneHotspotsTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Data = new pv::TMemDataSet(Module.get());
        Data->SetName("Sales");
        Data->AddField("month", pv::TFieldType::ftString);
        Data->AddField("id", pv::TFieldType::ftString);
        Data->AddField("revenue", pv::TFieldType::ftFloat);
        Data->AppendRecord({"Jan", "a&b/c d", 1234.5});
        Data->AppendRecord({"<Feb>", "x\"y'z", -2.0});
        auto* Source = new TDataSource(Module.get());
        Source->SetName("SalesSource");
        Source->SetDataSet(Data);
        Chart->SetDataSource(Source);
        Chart->SetXLabelsSource("month");
        Chart->SetYValueSource("revenue");
        Chart->SetValueFormat("#,##0.0");
        Chart->SetLocale("de-DE");
    }
    pv::TMemDataSet* Data = nullptr;
};

TEST_F(PlotvaneHotspotsTest, FieldsAreFilledInAndEscapedWhereTheyLand) {
    Data->Open();
    Chart->SetHintTemplate("{series}/{index}: {label} = {value} ({field:id}) {{x}}");
    Chart->SetLinkTemplate("https://example.com/o?id={field:id}&m={label}");
    std::vector<std::string> Warnings;
    const std::vector<THotspotArea> A = Chart->GetHotspots(&Warnings);
    ASSERT_EQ(A.size(), 2u);
    EXPECT_TRUE(Warnings.empty());
    // The hint is plain text, the value in the value format and locale.
    EXPECT_EQ(A[0].Hint, "Series1/0: Jan = 1.234,5 (a&b/c d) {x}");
    EXPECT_EQ(A[1].Hint, "Series1/1: <Feb> = -2,0 (x\"y'z) {x}");
    // Each substituted part of a link is one URL component.
    EXPECT_EQ(A[0].Url, "https://example.com/o?id=a%26b%2Fc%20d&m=Jan");
    EXPECT_EQ(A[1].Url, "https://example.com/o?id=x%22y%27z&m=%3CFeb%3E");

    const std::string Map = HotspotMapHtml("Chart\"1", A);
    EXPECT_EQ(Map.find('<', 1), Map.find("<area")) << "no markup from the data";
    EXPECT_NE(Map.find("<map name=\"Chart&quot;1\""), std::string::npos);
    EXPECT_NE(Map.find("title=\"Series1/1: &lt;Feb&gt; = -2,0 (x&quot;y&#39;z) {x}\""), std::string::npos) << Map;
    EXPECT_NE(Map.find("href=\"https://example.com/o?id=a%26b%2Fc%20d&amp;m=Jan\""), std::string::npos) << Map;
    // The last drawn area first, since a browser takes the first that holds
    // the pointer.
    EXPECT_LT(Map.find("&lt;Feb&gt;"), Map.find("Jan ="));

    const std::string Json = HotspotJson(A);
    EXPECT_NE(Json.find("\"hint\":\"Series1/1: \\u003cFeb\\u003e = -2,0 (x\\\"y'z) {x}\""), std::string::npos) << Json;
    EXPECT_NE(Json.find("\"value\":1234.5,\"formatted\":\"1.234,5\""), std::string::npos) << Json;

    const std::string Svg = Chart->GetVectorPicture(pv::TVectorFormat::vfSVG);
    EXPECT_NE(Svg.find("<a href=\"https://example.com/o?id=x%22y%27z&amp;m=%3CFeb%3E\"><g class=\"pv-point\"><title>"
                       "Series1/1: &lt;Feb&gt; = -2,0 (x&quot;y&#39;z) {x}</title><rect "),
              std::string::npos);
    EXPECT_EQ(Svg.find("<Feb>"), std::string::npos);
}

TEST_F(PlotvaneHotspotsTest, OnlyRelativeAndHttpLinksAreKept) {
    Data->Open();
    struct TCase {
        const char* Template;
        bool Kept;
    } Cases[] = {
        {"/orders/{index}", true},          {"detail.html?m={label}", true}, {"http://x.test/{label}", true},
        {"HTTPS://x.test/", true},          {"javascript:alert({index})", false}, {"JavaScript:void(0)", false},
        {"data:text/html,{label}", false},  {" javascript:x", false},       {"java\tscript:x", false},
        {"vbscript:{label}", false},        {"\\\\evil/x", false},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Template);
        Chart->SetLinkTemplate(C.Template);
        std::vector<std::string> Warnings;
        const std::vector<THotspotArea> A = Chart->GetHotspots(&Warnings);
        ASSERT_EQ(A.size(), 2u);
        EXPECT_EQ(!A[0].Url.empty(), C.Kept);
        EXPECT_EQ(!A[1].Url.empty(), C.Kept);
        // One warning for the call, naming the chart and the link.
        ASSERT_EQ(Warnings.size(), C.Kept ? 0u : 1u);
        if (!C.Kept) {
            EXPECT_NE(Warnings[0].find("chart 'Chart1': LinkTemplate gives '"), std::string::npos) << Warnings[0];
        }
    }
    // A value cannot make a scheme: it is encoded.
    Data->Close();
    Data->AppendRecord({"javascript:alert(1)", "1", 3.0});
    Data->Open();
    Chart->SetLinkTemplate("{label}");
    EXPECT_EQ(Chart->GetHotspots().back().Url, "javascript%3Aalert%281%29");
}

TEST_F(PlotvaneHotspotsTest, BadTemplatesAreRefusedAndTemplatesAreStoredOnlyWhenSet) {
    Chart->SetOnAfterDraw({});
    const std::string Plain = pv::WriteComponentProperties(*Chart);
    EXPECT_EQ(Plain.find("Template"), std::string::npos);
    Chart->SetHintTemplate("{label}");
    for (const char* Bad : {"{lable}", "{field:}", "{value", "a}b"}) {
        SCOPED_TRACE(Bad);
        try {
            Chart->SetHintTemplate(Bad);
            ADD_FAILURE() << "accepted";
        } catch (const pv::EConvertError& E) {
            EXPECT_EQ(std::string(E.what()).rfind(std::string("HintTemplate '") + Bad + "': ", 0), 0u) << E.what();
        }
        EXPECT_EQ(Chart->GetHintTemplate(), "{label}");
    }
    try {
        Chart->SetLinkTemplate("/x/{id}");
        ADD_FAILURE() << "accepted";
    } catch (const pv::EConvertError& E) {
        EXPECT_NE(std::string(E.what()).find("LinkTemplate '/x/{id}': unknown field {id}"), std::string::npos);
    }
    // A record field the data set lacks fails the read, naming both.
    Chart->SetLinkTemplate("/x/{field:order_id}");
    try {
        Data->Open();
        ADD_FAILURE() << "read";
    } catch (const pv::EDatabaseError& E) {
        EXPECT_NE(std::string(E.what()).find("field \"order_id\" of the hint or link template of 'Chart1' not found"),
                  std::string::npos)
            << E.what();
    }
    Chart->SetLinkTemplate("/x/{field:id}");
    const std::string Stored = pv::WriteComponentProperties(*Chart);
    EXPECT_NE(Stored.find("HintTemplate = '{label}'"), std::string::npos) << Stored;
    EXPECT_NE(Stored.find("LinkTemplate = '/x/{field:id}'"), std::string::npos);
}

}  // namespace
}  // namespace Norq_Plotvane::testing

namespace Norq_Plotvane::testing {
namespace {

TEST_F(PlotvaneTest, EachGroupKeepsItsOwnRecordsFields) {
    auto* Data = new pv::TMemDataSet(Module.get());
    Data->AddField("month", pv::TFieldType::ftString);
    Data->AddField("region", pv::TFieldType::ftString);
    Data->AddField("id", pv::TFieldType::ftString);
    Data->AddField("revenue", pv::TFieldType::ftFloat);
    Data->AppendRecord({"Jan", "EU", "e1", 5.0});
    Data->AppendRecord({"Jan", "US", "u1", 3.0});
    Data->AppendRecord({"Feb", "US", "u2", 4.0});
    auto* Source = new TDataSource(Module.get());
    Source->SetDataSet(Data);
    Chart->SetDataSource(Source);
    Chart->SetXLabelsSource("month");
    Chart->SetYValueSource("revenue");
    Chart->SetGroupSource("region");
    Chart->SetLinkTemplate("/o/{field:id}");
    Data->Open();
    std::vector<std::string> Got;
    for (const THotspotArea& A : Chart->GetHotspots()) Got.push_back(A.Spot.SeriesTitle + " " + A.Spot.Label + " " + A.Url + " " + A.Hint);
    // EU has no February: a gap, no area.
    EXPECT_EQ(Got, (std::vector<std::string>{"EU Jan /o/e1 EU, Jan: 5", "US Jan /o/u1 US, Jan: 3", "US Feb /o/u2 US, Feb: 4"}));
}

}  // namespace
}  // namespace Norq_Plotvane::testing
