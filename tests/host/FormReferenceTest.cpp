// docs/forms.md is the form reference this build generates (generating
// also checks that every property, class and enumeration value has its
// meaning), and the example form it shows is part of the sample form and
// reads into a chart with the sample's points.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "component/Norq_Plotvane.h"
#include "host/FormClasses.h"
#include "host/FormReference.h"
#include "platform/rtl/FormReader.h"

namespace {

std::string ReadFile(const std::string& Name) {
    std::ifstream In(Name, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

std::set<std::string> LinesOf(const std::string& Text) {
    std::set<std::string> Lines;
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);) Lines.insert(Line);
    return Lines;
}

TEST(HostFormReference, DocsFormsMdIsWhatThisBuildGenerates) {
    EXPECT_EQ(plotvane::FormReferenceDifference(PLOTVANE_FORMS_MD), "")
        << PLOTVANE_FORMS_MD " is not the reference of this build; regenerate it with\n"
           "  plotvane reference > docs/forms.md\n(plotvane from the build's tools/ folder)";
}

TEST(HostFormReference, TheExampleIsPartOfTheSampleFormAndReads) {
    const std::string Example(plotvane::FormReferenceExample());
    EXPECT_NE(plotvane::FormReference().find("```text\n" + Example + "```\n"), std::string::npos);
    const std::set<std::string> Sample = LinesOf(ReadFile(PLOTVANE_SOURCE_DIR_PATH "/examples/sales.form"));
    for (const std::string& Line : LinesOf(Example)) EXPECT_TRUE(Sample.contains(Line)) << Line;

    plotvane::RegisterFormClasses();
    pv::TFormReadOptions Options = plotvane::HostReadOptions();
    Options.BaseDirectory = PLOTVANE_EXAMPLES_BUILD_DIR;
    auto Module = pv::ReadFormFromString(Example, "example.form", Options);
    auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(Module->FindComponent("RevenueChart"));
    ASSERT_NE(Chart, nullptr);
    ASSERT_EQ(Chart->GetChartSeries()->Count(), 12);
    EXPECT_EQ(Chart->GetChartSeries()->GetLabel(0), "Jan");
    EXPECT_EQ(Chart->GetSeriesColorMode(), Norq_Plotvane::TSeriesColorMode::scPositiveNegative);
}

}  // namespace
