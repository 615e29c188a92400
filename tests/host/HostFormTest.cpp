// Forms holding the real chart component: its stored properties, the load
// gate seen from the form reader, the pointer properties, the sample form,
// and --set on the chart.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "component/Norq_Plotvane.h"
#include "host/FormClasses.h"
#include "platform/rtl/DataModule.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/FormWriter.h"
#include "platform/vcl/Image.h"
#include "tests/support/ThrowMessage.h"

namespace {

using Norq_Plotvane::TNorq_DBPlotvane;

// Counts OnAfterDraw calls made through the handler a form names.
int Draws = 0;

// Looks at a preview image at the moment the reader calls its Loaded: all
// properties and references of the module are in place by then, but the
// chart (read after the probe) has not been told yet that loading is over.
class TLoadProbe : public pv::TComponent {
public:
    explicit TLoadProbe(pv::TComponent* AOwner) : pv::TComponent(AOwner) {}
    std::string_view ClassName() const override { return "TLoadProbe"; }
    const pv::TClassInfo* ClassInfo() const override;
    void Loaded() override {
        pv::TComponent::Loaded();
        SawPicture = Watch && !Watch->GetPicture()->GetEmpty();
        DrawsAtLoaded = Draws;
    }
    pv::TComponentPtr<pv::TImage> Watch;
    bool SawPicture = false;
    int DrawsAtLoaded = -1;
};

const std::array<pv::TPropInfo, 1> ProbeProps{{
    {"Watch", pv::TTypeKind::tkComponent, nullptr, "TImage",
     [](const pv::TObject& O) -> pv::TPropValue {
         return static_cast<pv::TObject*>(static_cast<const TLoadProbe&>(O).Watch.get());
     },
     [](pv::TObject& O, const pv::TPropValue& V) {
         static_cast<TLoadProbe&>(O).Watch = dynamic_cast<pv::TImage*>(std::get<pv::TObject*>(V));
     }},
}};
const pv::TClassInfo ProbeInfo{"TLoadProbe", &pv::TComponent::StaticClassInfo(), ProbeProps};
const pv::TClassInfo* TLoadProbe::ClassInfo() const { return &ProbeInfo; }

class HostFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plotvane::RegisterFormClasses();
        pv::RegisterComponentClass<TLoadProbe>("TLoadProbe");
        pv::RegisterEventHandler("CountDraws", pv::TNotifyEvent([](pv::TObject*) { ++Draws; }));
    }
    void SetUp() override { Draws = 0; }

    static pv::TUniqueComponent<pv::TComponent> Read(const std::string& Text, bool Designing = false) {
        return pv::ReadFormFromString(Text, "test.form", plotvane::HostReadOptions(Designing));
    }
};

std::string ReadFile(const std::string& Name) {
    std::ifstream In(Name, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

// The top-level property names of a written component, in order.
std::vector<std::string> TopLevelNames(const std::string& Lines) {
    std::vector<std::string> Names;
    std::istringstream In(Lines);
    for (std::string L; std::getline(In, L);) {
        if (L.empty() || L[0] == ' ') continue;  // string list lines
        std::string Name = L.substr(0, L.find_first_of(" ."));
        if (Names.empty() || Names.back() != Name) Names.push_back(Name);
    }
    return Names;
}

const std::vector<std::string> DeclarationOrder{
    "Name", "Tag", "PreviewImage", "TitleFont", "TitleColor", "TitleText", "TitleAlignment", "Color", "Height",
    "Width", "AxisLeftTitleCaption", "AxisLeftTitleFont", "AxisBottomTitleCaption", "AxisBottomTitleFont",
    "OnAfterDraw", "LegendVisible", "LegendStyle", "GradientStartColor", "GradientEndColor", "GradientVisible",
    "PreviewFormat", "JPEGQuality", "View3D", "View3DPercent", "SeriesStyle", "DataSource", "XLabelsSource",
    "XValueSource", "YValueSource", "SeriesColor", "SeriesColorNegative", "SeriesColorMode", "MarksStyle",
    "MarksVisible", "MarksBackColor", "MarksFont", "ValueFormat", "PointerVisible", "PointerDraw3D", "PointerStyle",
    "PointerHorizSize", "PointerVertSize"};

TEST_F(HostFormTest, EveryPropertyIsWrittenInDeclarationOrder) {
    pv::TDataModule M(nullptr);
    auto* Chart = new TNorq_DBPlotvane(&M);
    Chart->SetName("Chart1");
    EXPECT_EQ(TopLevelNames(pv::WriteComponentProperties(*Chart)), DeclarationOrder);
    // The properties added later come after all of them, each stored only
    // when it is not its default.
    std::vector<std::string> All = DeclarationOrder;
    for (const char* Later :
         {"SeriesType", "Locale", "GroupSource", "Stacking", "SeriesPalette", "ValueAxisLogarithmic", "Theme",
          "HintTemplate", "LinkTemplate", "ReferenceLine"})
        All.push_back(Later);
    EXPECT_EQ(TopLevelNames(pv::WriteComponentProperties(*Chart, pv::TPropertySelection::psAll)), All);
    std::vector<std::string> Table;
    for (const pv::TPropInfo* P : pv::GetPropList(*Chart->ClassInfo())) Table.emplace_back(P->Name);
    EXPECT_EQ(Table, All);
    Chart->SetSeriesType(Norq_Plotvane::TPlotvaneSeriesType::stArea);
    Chart->SetGroupSource("region");
    Chart->SetStacking(pv::TSeriesStacking::sgStacked);
    Chart->SetSeriesPalette("clRed");
    Chart->SetLocale("de-DE");
    Chart->SetValueAxisLogarithmic(true);
    Chart->SetTheme(Norq_Plotvane::TPlotvaneTheme::thDark);
    Chart->SetHintTemplate("{label}: {value}");
    Chart->SetLinkTemplate("/orders?m={label}");
    Chart->GetReferenceLine()->SetValue(100);
    EXPECT_EQ(TopLevelNames(pv::WriteComponentProperties(*Chart)), All);
}

TEST_F(HostFormTest, GroupStackingAndPaletteAreStoredOnlyWhenSetAndReadBack) {
    pv::TDataModule Fresh(nullptr);
    Fresh.SetName("Module1");
    auto* Chart = new TNorq_DBPlotvane(&Fresh);
    Chart->SetName("Chart");
    const std::string Plain = pv::WriteForm(Fresh);
    for (const char* Name : {"GroupSource", "Stacking", "SeriesPalette", "ValueAxisLogarithmic"})
        EXPECT_EQ(Plain.find(Name), std::string::npos) << Name;
    EXPECT_EQ(Chart->GetSeriesPalette(), TNorq_DBPlotvane::DefaultSeriesPalette);

    Chart->SetGroupSource("region");
    Chart->SetStacking(pv::TSeriesStacking::sgStacked100);
    Chart->SetSeriesPalette("clRed,#00ff00  $00FF0000 clWindow, cornflowerblue");
    Chart->SetValueAxisLogarithmic(true);
    const std::string Written = pv::WriteForm(Fresh);
    EXPECT_NE(Written.find("    PointerVertSize = 4\n    GroupSource = 'region'\n    Stacking = sgStacked100\n"
                           "    SeriesPalette = 'clRed, clLime, clBlue, clWindow, #6495ed'\n"
                           "    ValueAxisLogarithmic = True\n  end\n"),
              std::string::npos)
        << Written;
    auto Back = Read(Written);
    auto& B = static_cast<TNorq_DBPlotvane&>(*Back->FindComponent("Chart"));
    EXPECT_EQ(B.GetGroupSource(), "region");
    EXPECT_EQ(B.GetStacking(), pv::TSeriesStacking::sgStacked100);
    EXPECT_TRUE(B.GetInternalChart()->GetBottomAxis()->GetLogarithmic());
    EXPECT_EQ(B.GetInternalChart()->GetPalette(),
              (std::vector<pv::TColor>{pv::clRed, pv::clLime, pv::clBlue, pv::clWindow, 0xED9564}));
    EXPECT_EQ(pv::WriteForm(*Back), Written);

    // A colour that is not one leaves the palette as it was.
    EXPECT_THROW_MSG(Chart->SetSeriesPalette("clRed, blu"), pv::EConvertError,
                     "SeriesPalette of 'Chart': 'blu' is not a colour (expected " + std::string(pv::ColorSpellings) + ")");
    EXPECT_EQ(Chart->GetInternalChart()->GetPalette().size(), 5u);
    std::string Bad = Plain;
    Bad.insert(Bad.find("  end\nend\n"), "    Stacking = sgPiled\n");
    EXPECT_THROW(Read(Bad), pv::EFormError);

    // Back to the defaults: the form is again the plain one.
    Chart->SetGroupSource("");
    Chart->SetStacking(pv::TSeriesStacking::sgNone);
    Chart->SetSeriesPalette(TNorq_DBPlotvane::DefaultSeriesPalette);
    Chart->SetValueAxisLogarithmic(false);
    EXPECT_EQ(pv::WriteForm(Fresh), Plain);
}

// A module with data, a probe, a preview image and a chart that draws into
// it and reports each draw.
const char* const GateForm = R"(object Module1: TDataModule
  object Data: TMemDataSet
    FieldDefs.Strings = (
      'month=ftString'
      'revenue=ftFloat')
    Records.Strings = (
      '"Jan",12'
      '"Feb",-5')
    Active = True
  end
  object Source: TDataSource
    DataSet = Data
  end
  object Probe: TLoadProbe
    Watch = Preview
  end
  object Preview: TImage
  end
  object Chart: TNorq_DBPlotvane
    PreviewImage = Preview
    TitleText.Strings = (
      'Gate')
    Width = 200
    Height = 120
    OnAfterDraw = CountDraws
    DataSource = Source
    XLabelsSource = 'month'
    YValueSource = 'revenue'
    SeriesColorMode = scPositiveNegative
  end
end
)";

TEST_F(HostFormTest, OutsideTheDesignerNothingRendersWhileLoadingAndLoadedRendersOnce) {
    auto M = Read(GateForm);
    auto* Probe = static_cast<TLoadProbe*>(M->FindComponent("Probe"));
    EXPECT_FALSE(Probe->SawPicture);
    EXPECT_EQ(Probe->DrawsAtLoaded, 0);
    EXPECT_EQ(Draws, 1);
    auto* Preview = static_cast<pv::TImage*>(M->FindComponent("Preview"));
    EXPECT_EQ(Preview->GetPicture()->GetWidth(), 200);
    EXPECT_EQ(Preview->GetPicture()->GetHeight(), 120);
}

TEST_F(HostFormTest, InTheDesignerSettersRenderWhileLoading) {
    auto M = Read(GateForm, true);
    auto* Probe = static_cast<TLoadProbe*>(M->FindComponent("Probe"));
    // The preview was already drawn while the chart was still loading...
    EXPECT_TRUE(Probe->SawPicture);
    // ...and in the designer OnAfterDraw is never called.
    EXPECT_EQ(Draws, 0);
    EXPECT_TRUE(M->FindComponent("Chart")->HasState(pv::csDesigning));
}

TEST_F(HostFormTest, PointerPropertiesAreWrittenWithTheirFallbacksAndLoadingThemChangesNothing) {
    pv::TDataModule Fresh(nullptr);
    Fresh.SetName("Module1");
    (new TNorq_DBPlotvane(&Fresh))->SetName("Chart");
    std::string Written = pv::WriteForm(Fresh);
    for (const char* Line : {"    PointerVisible = False\n", "    PointerDraw3D = False\n",
                             "    PointerStyle = psRectangle\n", "    PointerHorizSize = 4\n",
                             "    PointerVertSize = 4\n"})
        EXPECT_NE(Written.find(Line), std::string::npos) << Line;

    std::string Other = Written;
    auto Replace = [&](const std::string& From, const std::string& To) { Other.replace(Other.find(From), From.size(), To); };
    Replace("PointerVisible = False", "PointerVisible = True");
    Replace("PointerDraw3D = False", "PointerDraw3D = True");
    Replace("PointerStyle = psRectangle", "PointerStyle = psCircle");
    Replace("PointerHorizSize = 4", "PointerHorizSize = 9");
    Replace("PointerVertSize = 4", "PointerVertSize = 7");

    auto Plain = Read(Written);
    auto Pointed = Read(Other);
    auto& A = static_cast<TNorq_DBPlotvane&>(*Plain->FindComponent("Chart"));
    auto& B = static_cast<TNorq_DBPlotvane&>(*Pointed->FindComponent("Chart"));
    EXPECT_EQ(B.GetInternalChart()->GetChangeCount(), A.GetInternalChart()->GetChangeCount());
    EXPECT_EQ(pv::WriteForm(*Pointed), Written);
}

// Locale is stored only when set, last, and an unknown one in a form is an
// error naming it.
TEST_F(HostFormTest, LocaleIsStoredOnlyWhenSetAndReadsBack) {
    pv::TDataModule Fresh(nullptr);
    Fresh.SetName("Module1");
    auto* Chart = new TNorq_DBPlotvane(&Fresh);
    Chart->SetName("Chart");
    EXPECT_EQ(pv::WriteForm(Fresh).find("Locale"), std::string::npos);
    Chart->SetLocale("de-DE");
    const std::string Written = pv::WriteForm(Fresh);
    EXPECT_NE(Written.find("    PointerVertSize = 4\n    Locale = 'de-DE'\n  end\nend\n"), std::string::npos)
        << Written;
    auto Back = Read(Written);
    EXPECT_EQ(static_cast<TNorq_DBPlotvane&>(*Back->FindComponent("Chart")).GetLocale(), "de-DE");
    std::string Bad = Written;
    Bad.replace(Bad.find("'de-DE'"), 7, "'xx'");
    EXPECT_THROW_MSG_HAS(Read(Bad), pv::EFormError, "'xx' is not a known locale");
}

TEST_F(HostFormTest, SeriesTypeIsStoredLastOnlyWhenNotBarAndReadsBack) {
    pv::TDataModule Fresh(nullptr);
    Fresh.SetName("Module1");
    auto* Chart = new TNorq_DBPlotvane(&Fresh);
    Chart->SetName("Chart");
    const std::string Bars = pv::WriteForm(Fresh);
    EXPECT_EQ(Bars.find("SeriesType"), std::string::npos);
    const std::pair<Norq_Plotvane::TPlotvaneSeriesType, const char*> Types[] = {
        {Norq_Plotvane::TPlotvaneSeriesType::stHorizBar, "stHorizBar"},
        {Norq_Plotvane::TPlotvaneSeriesType::stLine, "stLine"},
        {Norq_Plotvane::TPlotvaneSeriesType::stArea, "stArea"},
        {Norq_Plotvane::TPlotvaneSeriesType::stPoint, "stPoint"},
        {Norq_Plotvane::TPlotvaneSeriesType::stPie, "stPie"}};
    for (auto [Type, Name] : Types) {
        SCOPED_TRACE(Name);
        Chart->SetSeriesType(Type);
        const bool Pointer = Chart->GetChartSeries()->GetPointer() != nullptr;
        if (Pointer) {
            // The pointer lines come before SeriesType: read back, they
            // still reach the pointer of the series SeriesType makes.
            Chart->SetPointerVisible(true);
            Chart->SetPointerStyle(Norq_Plotvane::TSeriesPointerStyle::psCircle);
            Chart->SetPointerHorizSize(6);
        }
        const std::string Written = pv::WriteForm(Fresh);
        EXPECT_NE(Written.find("    PointerVertSize = 4\n    SeriesType = " + std::string(Name) + "\n  end\nend\n"),
                  std::string::npos)
            << Written;
        auto Back = Read(Written);
        auto& B = static_cast<TNorq_DBPlotvane&>(*Back->FindComponent("Chart"));
        EXPECT_EQ(B.GetSeriesType(), Type);
        if (Pointer) {
            EXPECT_TRUE(B.GetPointerVisible());
            EXPECT_EQ(B.GetPointerStyle(), Norq_Plotvane::TSeriesPointerStyle::psCircle);
            EXPECT_EQ(B.GetPointerHorizSize(), 6);
            EXPECT_TRUE(B.GetChartSeries()->GetPointer()->GetInflateMargins());
        }
        EXPECT_EQ(pv::WriteForm(*Back), Written);
    }
    // Back to bars: the form is again what it was before any type was set.
    Chart->SetSeriesType(Norq_Plotvane::TPlotvaneSeriesType::stBar);
    EXPECT_EQ(pv::WriteForm(Fresh), Bars);
    // An unknown type is an error naming the value.
    std::string Bad = Bars;
    Bad.insert(Bad.find("  end\nend\n"), "    SeriesType = stDonut\n");
    EXPECT_THROW(Read(Bad), pv::EFormError);
}

TEST_F(HostFormTest, TheSampleFormIsExactlyWhatTheWriterWrites) {
    const std::string Source = std::string(PLOTVANE_SOURCE_DIR_PATH) + "/examples/sales.form";
    pv::TFormReadOptions Options = plotvane::HostReadOptions();
    Options.BaseDirectory = PLOTVANE_EXAMPLES_BUILD_DIR;  // where the build put sales.db
    auto M = pv::ReadForm(Source, Options);
    EXPECT_EQ(pv::WriteForm(*M), ReadFile(Source));
    auto& Chart = static_cast<TNorq_DBPlotvane&>(*M->FindComponent("RevenueChart"));
    EXPECT_EQ(TopLevelNames(pv::WriteComponentProperties(Chart)), DeclarationOrder);
    pv::TBitmap* Picture = Chart.GetBMPPicture();
    EXPECT_EQ(Picture->GetWidth(), 400);
    EXPECT_EQ(Picture->GetHeight(), 250);
}

TEST_F(HostFormTest, TheSeriesTypesFormHasOneChartOfEachTypeAndReadsBackByteForByte) {
    const std::string Source = std::string(PLOTVANE_SOURCE_DIR_PATH) + "/examples/series-types.form";
    pv::TFormReadOptions Options = plotvane::HostReadOptions();
    Options.BaseDirectory = PLOTVANE_EXAMPLES_BUILD_DIR;
    auto M = pv::ReadForm(Source, Options);
    EXPECT_EQ(pv::WriteForm(*M), ReadFile(Source));
    const std::pair<const char*, Norq_Plotvane::TPlotvaneSeriesType> Charts[] = {
        {"BarChart", Norq_Plotvane::TPlotvaneSeriesType::stBar},
        {"HorizBarChart", Norq_Plotvane::TPlotvaneSeriesType::stHorizBar},
        {"LineChart", Norq_Plotvane::TPlotvaneSeriesType::stLine},
        {"AreaChart", Norq_Plotvane::TPlotvaneSeriesType::stArea},
        {"PointChart", Norq_Plotvane::TPlotvaneSeriesType::stPoint},
        {"PieChart", Norq_Plotvane::TPlotvaneSeriesType::stPie}};
    for (auto [Name, Type] : Charts) {
        auto& Chart = static_cast<TNorq_DBPlotvane&>(*M->FindComponent(Name));
        EXPECT_EQ(Chart.GetSeriesType(), Type) << Name;
        EXPECT_EQ(Chart.GetChartSeries()->Count(), 12) << Name;
        EXPECT_EQ(Chart.GetBMPPicture()->GetWidth(), 400) << Name;
    }
}

TEST_F(HostFormTest, TheRegionsFormDrawsASeriesPerRegionAndReadsBackByteForByte) {
    const std::string Source = std::string(PLOTVANE_SOURCE_DIR_PATH) + "/examples/regions.form";
    pv::TFormReadOptions Options = plotvane::HostReadOptions();
    Options.BaseDirectory = PLOTVANE_EXAMPLES_BUILD_DIR;
    auto M = pv::ReadForm(Source, Options);
    EXPECT_EQ(pv::WriteForm(*M), ReadFile(Source));
    for (const char* Name : {"GroupedChart", "StackedChart"}) {
        auto& Chart = static_cast<TNorq_DBPlotvane&>(*M->FindComponent(Name));
        const pv::TChartSeries& S = *Chart.GetChartSeries();
        EXPECT_EQ(S.GetGroupTitle(), "EU") << Name;
        ASSERT_EQ(S.GroupCount(), 1) << Name;
        EXPECT_EQ(S.GetGroup(0)->GetTitle(), "US") << Name;
        EXPECT_EQ(S.Count(), 12) << Name;
        EXPECT_EQ(S.GetGroup(0)->GetYValue(10), 12) << Name;  // US in November
    }
    // The total from a query of its own, a line over the grouped bars.
    auto& Grouped = static_cast<TNorq_DBPlotvane&>(*M->FindComponent("GroupedChart"));
    EXPECT_EQ(Grouped.ExtraSeriesCount(), 1);
    const pv::TDBChart& Internal = *Grouped.GetInternalChart();
    ASSERT_EQ(Internal.SeriesCount(), 2);
    EXPECT_EQ(Internal.GetSeries(0), Grouped.GetChartSeries());
    EXPECT_EQ(Internal.GetSeries(1)->GetTitle(), "Total");
    EXPECT_EQ(Internal.GetSeries(1)->Count(), 12);
    EXPECT_EQ(Internal.GetSeries(1)->GetYValue(10), 30);
}

TEST_F(HostFormTest, SetFromTheCommandLineGoesThroughTheChartsTable) {
    auto M = Read(GateForm);
    auto& Chart = static_cast<TNorq_DBPlotvane&>(*M->FindComponent("Chart"));
    pv::SetPropertyFromString(Chart, "Width", "800");
    pv::SetPropertyFromString(Chart, "TitleFont.Size", "14");
    pv::SetPropertyFromString(Chart, "TitleText.Strings", "('Sales' 'by month')");
    pv::SetPropertyFromString(Chart, "Color", "clRed");
    pv::SetPropertyFromString(Chart, "AxisLeftTitleCaption", "'EUR'");
    pv::SetPropertyFromString(Chart, "SeriesColorMode", "scSingleColor");
    pv::SetPropertyFromString(Chart, "DataSource", "nil");
    EXPECT_EQ(Chart.GetWidth(), 800);
    EXPECT_EQ(Chart.GetTitleFont()->GetSize(), 14);
    EXPECT_EQ(Chart.GetTitleText()->ToVector(), (std::vector<std::string>{"Sales", "by month"}));
    EXPECT_EQ(Chart.GetColor(), pv::clRed);
    EXPECT_EQ(Chart.GetAxisLeftTitleCaption(), "EUR");
    EXPECT_EQ(Chart.GetSeriesColorMode(), Norq_Plotvane::TSeriesColorMode::scSingleColor);
    EXPECT_EQ(Chart.GetDataSource(), nullptr);
    EXPECT_THROW_MSG(pv::SetPropertyFromString(Chart, "SeriesColorMode", "scRainbow"), pv::EFormError,
                     "Chart.SeriesColorMode: scRainbow is not a value of TSeriesColorMode "
                     "(scSingleColor, scColorEachPoint, scPositiveNegative)");
    EXPECT_THROW_MSG_STARTS(pv::SetPropertyFromString(Chart, "JPEGQuality", "500"), pv::EFormError,
                            "Chart.JPEGQuality = 500: ");
    EXPECT_EQ(Chart.GetJPEGQuality(), 80);
}

// One colour in every spelling a form or --set may use reads as the same
// TColor, and the form is written as before; what is no colour is refused
// with the value and the spellings.
TEST_F(HostFormTest, ColoursReadInEverySpellingAndAreWrittenAsBefore) {
    const auto ChartWith = [](const std::string& Lines) {
        return "object Chart: TNorq_DBPlotvane\n" + Lines + "end\n";
    };
    for (std::string Red : {"#ff0000", "#F00", "red", "Red", "clRed", "clred", "$000000FF", "'#ff0000'", "255"}) {
        auto M = Read(ChartWith("  Color = " + Red + "\n"));
        auto& Chart = static_cast<TNorq_DBPlotvane&>(*M);
        EXPECT_EQ(Chart.GetColor(), pv::clRed) << Red;
        EXPECT_NE(pv::WriteForm(*M).find("\n  Color = clRed\n"), std::string::npos) << Red;
        pv::SetPropertyFromString(Chart, "TitleColor", Red);
        EXPECT_EQ(Chart.GetTitleColor(), pv::clRed) << Red;
    }
    // #123 is a character to a text and hex digits to a colour; a CSS name
    // without a platform name is written as its number.
    auto M = Read(ChartWith("  Color = #123456\n  TitleColor = CornflowerBlue\n  AxisLeftTitleCaption = #123\n"));
    auto& Chart = static_cast<TNorq_DBPlotvane&>(*M);
    EXPECT_EQ(Chart.GetColor(), pv::RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(Chart.GetAxisLeftTitleCaption(), "{");
    const std::string Written = pv::WriteForm(*M);
    EXPECT_NE(Written.find("\n  Color = $00563412\n"), std::string::npos) << Written;
    EXPECT_NE(Written.find("\n  TitleColor = $00ED9564\n"), std::string::npos) << Written;

    const std::string Spellings = "is not a colour; write a colour name (clRed, red, cornflowerblue), #rrggbb, #rgb or "
                                  "$00BBGGRR";
    for (const std::string Bad : {"#12345", "nosuch", "#ff00zz", "'blau'"}) {
        try {
            Read(ChartWith("  Color = " + Bad + "\n"));
            ADD_FAILURE() << Bad;
        } catch (const pv::EFormError& E) {
            EXPECT_EQ(E.what(), "test.form:2:11: Chart.Color: " + Bad + " " + Spellings) << Bad;
        }
        try {
            pv::SetPropertyFromString(Chart, "Color", Bad);
            ADD_FAILURE() << Bad;
        } catch (const pv::EFormError& E) {
            EXPECT_EQ(E.what(), "Chart.Color: " + Bad + " " + Spellings) << Bad;
        }
    }
    // A colour is no text.
    try {
        Read(ChartWith("  AxisLeftTitleCaption = #ff0000\n"));
        ADD_FAILURE();
    } catch (const pv::EFormError& E) {
        EXPECT_STREQ(E.what(), "test.form:2:26: Chart.AxisLeftTitleCaption: expected a string in single quotes, found "
                               "the colour #ff0000 (write '#ff0000')");
    }
}

TEST_F(HostFormTest, AFailedLoadLeavesNoComponentsBehind) {
    const std::string Good = R"(object Module1: TDataModule
  object Data: TMemDataSet
    FieldDefs.Strings = (
      'v=ftFloat')
    Active = True
  end
  object Preview: TImage
  end
  object Chart1: TNorq_DBPlotvane
    PreviewImage = Preview
    OnAfterDraw = CountDraws
  end
)";
    struct TCase {
        std::string Tail;
        std::string Message;
    };
    const TCase Cases[] = {
        {"  object Chart2: TNorq_DBPlotvane\n    OnAfterDraw = Nobody\n  end\nend\n",
         "test.form:14:19: Chart2.OnAfterDraw: no event handler named Nobody is registered"},
        {"  object Chart2: TNorq_DBPlotvane\n    DataSource = Nowhere\n  end\nend\n",
         "test.form:14:18: Chart2.DataSource: no component named Nowhere in Module1"},
        {"  object Chart2: TNorq_DBPlotvane\n    MarksStyle = smNothing\n  end\nend\n",
         "test.form:14:18: Chart2.MarksStyle: smNothing is not a value of TSeriesMarksStyle (smValue, smPercent, "
         "smLabel, smLabelPercent, smLabelValue, smLegend, smPercentTotal, smLabelPercentTotal, smXValue)"},
        {"  object Chart2: TNorq_DBPlotvane\n    Width = 100\n",
         "test.form:15:1: object Chart2: TNorq_DBPlotvane (line 13) is not closed: expected 'end' before the end of "
         "the file"},
        {"  object Query: TSQLiteQuery\n    DatabaseName = 'no-such.db'\n    SQL.Strings = (\n      'SELECT 1')\n"
         "    Active = True\n  end\nend\n",
         "test.form:13:3: cannot finish loading Query (TSQLiteQuery): "},
    };
    for (const TCase& C : Cases) {
        const int Before = pv::TComponent::InstanceCount();
        EXPECT_THROW_MSG_STARTS(Read(Good + C.Tail), pv::EFormError, C.Message) << C.Tail;
        // Not a component is left: not the module, the data set, the image,
        // the charts nor the parts each chart made for itself.
        EXPECT_EQ(pv::TComponent::InstanceCount(), Before) << C.Tail;
    }
}

}  // namespace
