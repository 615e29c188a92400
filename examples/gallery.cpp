// The gallery: charts that between them use every appearance setting and
// every series type, each written as GIF, JPEG and PNG into the folder
// given.
//   gallery OUTDIR
//
// The gallery is a table: each row names a picture and the builder that
// sets up a fresh chart component for it.

#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "component/Norq_Plotvane.h"
#include "platform/rtl/Stream.h"

using namespace Norq_Plotvane;

namespace {

const std::vector<std::pair<std::string, double>> Months{{"Jan", 12}, {"Feb", 19}, {"Mar", 3},  {"Apr", -5},
                                                         {"May", 22}, {"Jun", 17}, {"Jul", 9},  {"Aug", 14},
                                                         {"Sep", -2}, {"Oct", 25}, {"Nov", 30}, {"Dec", 11}};

void Fill(TChartSeries& S, double Scale = 1) {
    for (auto& [Label, Value] : Months) S.Add(Value * Scale, Label);
}

// Three regions of revenue as the groups of one series, as a chart whose
// GroupSource splits a query's records makes them.
void FillRegions(TChartSeries& S, bool Positive = false) {
    const double Share[3] = {0.55, 0.3, 0.15};
    const char* Regions[3] = {"EU", "US", "Asia"};
    S.SetGroupTitle(Regions[0]);
    for (int R = 0; R < 3; ++R) {
        TChartSeries& G = R == 0 ? S : S.AddGroup(Regions[R]);
        int K = 0;
        for (auto& [Label, Value] : Months) G.Add(std::round((Positive ? std::fabs(Value) : Value) * Share[R] + (K++ * (R + 1)) % 4), Label);
    }
}

void SetTitle(TNorq_DBPlotvane& C, std::initializer_list<std::string> Lines) {
    pv::TStringList L;
    for (auto& Line : Lines) L.Add(Line);
    C.SetTitleText(&L);
}

void WriteFile(const std::filesystem::path& Path, const pv::TGraphic& Picture) {
    pv::TMemoryStream S;
    Picture.SaveToStream(S);
    std::FILE* F = std::fopen(Path.c_str(), "wb");
    if (!F) throw pv::EStreamError("Cannot create " + Path.string());
    std::fwrite(S.Memory(), 1, static_cast<std::size_t>(S.GetSize()), F);
    std::fclose(F);
}

void Save(TNorq_DBPlotvane& C, const std::filesystem::path& Dir, const std::string& Name) {
    WriteFile(Dir / (Name + ".gif"), *C.GetGIFPicture());
    WriteFile(Dir / (Name + ".jpg"), *C.GetJPEGPicture());
    C.GetBMPPicture()->SaveToPNGFile((Dir / (Name + ".png")).string());
}

// Sets up a fresh component for one picture.
using TBuilder = void (*)(TNorq_DBPlotvane&);

struct TGalleryEntry {
    const char* Name;
    TBuilder Build;
};

const TGalleryEntry Gallery[] = {
    {"01-reference",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Monthly revenue"});
         C.SetColor(pv::clWhite);
         C.SetAxisLeftTitleCaption("EUR");
         C.SetAxisBottomTitleCaption("Month");
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
     }},
    {"02-view3d",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"3D view, 30 %"});
         C.SetView3D(true);
         C.SetView3DPercent(30);
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
         C.SetSeriesColor(0x2E8B57);
     }},
    {"03-gradient-title-box",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Gradient, title box, left aligned"});
         C.SetGradientVisible(true);
         C.SetGradientStartColor(pv::clWhite);
         C.SetGradientEndColor(0xE6C8A0);
         C.SetTitleColor(pv::clCream);
         C.SetTitleAlignment(TAlignment::taLeftJustify);
         pv::TFont F;
         F.Assign(*C.GetTitleFont());
         F.SetStyle(pv::fsBold | pv::fsItalic);
         F.SetColor(pv::clMaroon);
         C.SetTitleFont(&F);
     }},
    {"04-monochrome",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Monochrome"});
         C.SetMonochrome(true);
     }},
    {"05-color-each-point",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"A colour per point"});
         C.SetSeriesColorMode(TSeriesColorMode::scColorEachPoint);
         C.SetLegendStyle(TLegendStyle::lsAuto);
     }},
    {"06-marks-label-value",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Marks: label and value"});
         C.SetMarksStyle(TSeriesMarksStyle::smLabelValue);
         C.SetMarksBackColor(0xF0F0FF);
         pv::TFont F;
         F.Assign(*C.GetMarksFont());
         F.SetColor(pv::clNavy);
         F.SetSize(7);
         C.SetMarksFont(&F);
         C.SetLegendVisible(false);
         C.SetSeriesColorMode(TSeriesColorMode::scSingleColor);
     }},
    {"07-value-format",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries(), 1234.5);
         SetTitle(C, {"Value format #,##0.00 €"});
         C.SetValueFormat("#,##0.00 €");
         C.SetWidth(640);
         C.SetHeight(360);
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
         C.SetSeriesColorNegative(0x3C14DC);
     }},
    {"08-multiline-right-no-legend",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Revenue", "by month, 2026"});
         C.SetTitleAlignment(TAlignment::taRightJustify);
         C.SetLegendVisible(false);
         C.SetMarksVisible(false);
         C.SetAxisLeftTitleCaption("thousand EUR");
         pv::TFont F;
         F.Assign(*C.GetAxisLeftTitleFont());
         F.SetStyle(pv::fsItalic);
         F.SetColor(pv::clGray);
         C.SetAxisLeftTitleFont(&F);
         C.SetAxisBottomTitleFont(&F);
         C.SetAxisBottomTitleCaption("2026");
     }},
    {"09-percent-marks",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Marks: percent of the total"});
         C.SetMarksStyle(TSeriesMarksStyle::smPercent);
         C.SetLegendStyle(TLegendStyle::lsLastValues);
     }},
    {"10-many-points",
     [](TNorq_DBPlotvane& C) {
         double V = 50;
         for (int I = 0; I < 1000; ++I) {
             V += std::sin(I * 0.37) * 3 + std::cos(I * 0.11) * 2;
             C.GetChartSeries()->Add(V);
         }
         SetTitle(C, {"1 000 points"});
         C.SetMarksVisible(false);
         C.SetLegendVisible(false);
         C.SetWidth(800);
         C.SetHeight(400);
         C.SetSeriesColorMode(TSeriesColorMode::scSingleColor);
     }},
    {"11-unicode",
     [](TNorq_DBPlotvane& C) {
         const char* Labels[] = {"Αθήνα", "Москва", "Zürich", "Kraków", "תל אביב", "İzmir"};
         double Values[] = {14, 22, 9, 17, 11, 6};
         for (int I = 0; I < 6; ++I) C.GetChartSeries()->Add(Values[I], Labels[I]);
         SetTitle(C, {"Städte — Ünïcødé labels"});
         pv::TFont F;
         F.Assign(*C.GetTitleFont());
         F.SetStyle(pv::fsUnderline);
         C.SetTitleFont(&F);
     }},
    {"12-strikeout-big",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries(), 0.01);
         SetTitle(C, {"Old forecast"});
         pv::TFont F;
         F.Assign(*C.GetTitleFont());
         F.SetStyle(pv::fsStrikeOut);
         F.SetSize(16);
         C.SetTitleFont(&F);
         C.SetValueFormat("0.00");
         C.SetWidth(1000);
         C.SetHeight(500);
         C.SetColor(0xFAF6F0);
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
         C.SetJPEGQuality(60);
     }},
    {"13-line",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Line, with pointers"});
         C.SetSeriesType(TPlotvaneSeriesType::stLine);
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
         C.SetSeriesColor(0xB0602A);
         C.SetPointerVisible(true);
         C.SetPointerStyle(TSeriesPointerStyle::psCircle);
         C.SetMarksVisible(true);
     }},
    {"14-point",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Points"});
         C.SetSeriesType(TPlotvaneSeriesType::stPoint);
         C.SetPointerStyle(TSeriesPointerStyle::psDiamond);
         C.SetPointerHorizSize(5);
         C.SetPointerVertSize(5);
         C.SetMarksVisible(false);
     }},
    {"15-horizontal-bars",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Horizontal bars"});
         C.SetSeriesType(TPlotvaneSeriesType::stHorizBar);
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
         C.SetAxisBottomTitleCaption("EUR");
         C.SetLegendVisible(false);
     }},
    {"16-horizontal-bars-3d",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Horizontal bars, 3D"});
         C.SetSeriesType(TPlotvaneSeriesType::stHorizBar);
         C.SetView3D(true);
         C.SetWidth(560);
         C.SetHeight(360);
     }},
    {"17-area",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Area, coloured by sign"});
         C.SetSeriesType(TPlotvaneSeriesType::stArea);
         C.SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
         C.SetSeriesColor(0xC08040);
         C.SetGradientVisible(true);
     }},
    {"18-area-3d",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Area, 3D"});
         C.SetSeriesType(TPlotvaneSeriesType::stArea);
         C.SetSeriesColorMode(TSeriesColorMode::scSingleColor);
         C.SetSeriesColor(0x2E8B57);
         C.SetView3D(true);
         C.SetMarksVisible(false);
     }},
    {"19-pie",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Pie: negative months striped"});
         C.SetSeriesType(TPlotvaneSeriesType::stPie);
         C.SetMarksStyle(TSeriesMarksStyle::smLabelPercent);
     }},
    {"20-pie-3d",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Pie, 3D, 40 %"});
         C.SetSeriesType(TPlotvaneSeriesType::stPie);
         C.SetView3D(true);
         C.SetView3DPercent(40);
         C.SetWidth(560);
         C.SetHeight(360);
     }},
    {"21-pie-monochrome",
     [](TNorq_DBPlotvane& C) {
         Fill(*C.GetChartSeries());
         SetTitle(C, {"Pie, monochrome, one colour"});
         C.SetSeriesType(TPlotvaneSeriesType::stPie);
         C.SetSeriesColorMode(TSeriesColorMode::scSingleColor);
         C.SetMonochrome(true);
         C.SetLegendStyle(TLegendStyle::lsLastValues);
     }},
    {"22-grouped-bars",
     [](TNorq_DBPlotvane& C) {
         FillRegions(*C.GetChartSeries());
         SetTitle(C, {"Revenue by region"});
         C.SetMarksVisible(false);
         C.SetWidth(520);
         C.SetHeight(300);
     }},
    {"23-stacked-bars",
     [](TNorq_DBPlotvane& C) {
         FillRegions(*C.GetChartSeries());
         SetTitle(C, {"Revenue by region, stacked"});
         C.SetStacking(TSeriesStacking::sgStacked);
         C.SetMarksVisible(false);
         C.SetWidth(520);
         C.SetHeight(300);
     }},
    {"24-stacked-areas-100",
     [](TNorq_DBPlotvane& C) {
         FillRegions(*C.GetChartSeries(), true);
         SetTitle(C, {"Share of revenue by region"});
         C.SetSeriesType(TPlotvaneSeriesType::stArea);
         C.SetStacking(TSeriesStacking::sgStacked100);
         C.SetMarksVisible(false);
         C.SetWidth(520);
         C.SetHeight(300);
     }},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: gallery OUTDIR\n";
        return 2;
    }
    const std::filesystem::path Dir = argv[1];
    try {
        std::filesystem::create_directories(Dir);
        for (const TGalleryEntry& E : Gallery) {
            TNorq_DBPlotvane C(nullptr);
            E.Build(C);
            Save(C, Dir, E.Name);
        }
    } catch (const std::exception& E) {
        std::cerr << "gallery: " << E.what() << "\n";
        return 1;
    }
    std::cout << "Gallery written to " << Dir.string() << "\n";
    return 0;
}
