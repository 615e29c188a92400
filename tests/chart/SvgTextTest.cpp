// Text in SVG documents from outlines formatted once per thread: the
// document must be the one Cairo writes with its own text, glyph for glyph.

#include <gtest/gtest.h>

#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/chart/internal/ChartDraw.h"
#include "platform/chart/internal/SvgText.h"
#include "platform/chart/internal/TextEngine.h"
#include "tests/chart/ChartFixtures.h"

namespace pv {
namespace {

using testing::MakeR1;

// The chart's own SVG less what it adds to Cairo's document: the image role
// and the title and description.
std::string ChartSvg(const TCustomChart& Chart, double Scale = 1) {
    std::string Svg = Chart.TeeCreateVector(TVectorFormat::vfSVG, clWhite, Rect(0, 0, 400, 250), Scale);
    const std::string Role = " role=\"img\" aria-labelledby=\"pv-title pv-desc\"";
    if (const std::size_t At = Svg.find(Role); At != std::string::npos) Svg.erase(At, Role.size());
    const std::size_t From = Svg.find("\n<title id=\"pv-title\">"), To = Svg.find("</desc>");
    if (From != std::string::npos && To != std::string::npos) Svg.erase(From, To + 7 - From);
    return Svg;
}

struct TDocument {
    std::string Svg;
    bool Placed = true;  // false: the cached text could not be placed
};

// Draws with Draw on a Width x Height SVG surface, with the cached text
// attached or with Cairo's own.
TDocument DrawSvg(int Width, int Height, bool CachedText, const std::function<void(cairo_surface_t*)>& Draw) {
    TDocument D;
    auto Write = [](void* Closure, const unsigned char* Data, unsigned int Length) -> cairo_status_t {
        static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_t* Surface = cairo_svg_surface_create_for_stream(Write, &D.Svg, Width, Height);
    cairo_svg_surface_set_document_unit(Surface, CAIRO_SVG_UNIT_PX);
    {
        std::optional<TSvgText> Text;
        if (CachedText) Text.emplace(Surface);
        Draw(Surface);
        cairo_surface_finish(Surface);
        EXPECT_EQ(cairo_surface_status(Surface), CAIRO_STATUS_SUCCESS);
        if (Text) {
            std::string Finished = "left as it was when refused";
            D.Placed = Text->Finish(D.Svg, Finished);
            if (D.Placed) D.Svg = std::move(Finished);
            else EXPECT_EQ(Finished, "left as it was when refused");
        }
    }
    cairo_surface_destroy(Surface);
    return D;
}

TDocument DrawChartSvg(const TCustomChart& Chart, double Scale, bool CachedText) {
    const int W = static_cast<int>(std::lround(Chart.GetWidth() * Scale));
    const int H = static_cast<int>(std::lround(Chart.GetHeight() * Scale));
    return DrawSvg(W, H, CachedText, [&](cairo_surface_t* S) {
        cairo_t* Cr = cairo_create(S);
        cairo_set_source_rgb(Cr, 1, 1, 1);
        cairo_paint(Cr);
        cairo_destroy(Cr);
        DrawChartScaledOnSurface(Chart, S, Chart.GetWidth(), Chart.GetHeight(), Scale);
    });
}

// The value of attribute Name in Element, or empty.
std::string Attribute(const std::string& Element, const std::string& Name) {
    const std::size_t At = Element.find(" " + Name + "=\"");
    if (At == std::string::npos) return {};
    const std::size_t From = At + Name.size() + 3;
    return Element.substr(From, Element.find('"', From) - From);
}

// The document with its glyph definitions taken out and every use of a
// glyph replaced by the glyph's outline and position, so that documents
// that name their glyphs differently compare equal; the numbers of the
// surface and of images, which count those of the process, are taken out
// too. Fails the test for a use of a glyph that is not defined.
std::string Resolved(const std::string& Svg) {
    std::map<std::string, std::string> Outlines;
    std::string Body = Svg;
    for (const std::string Counted : {"id=\"surface", "id=\"image", "\"#image"})
        for (std::size_t At = 0; (At = Body.find(Counted, At)) != std::string::npos;) {
            At += Counted.size();
            Body.erase(At, Body.find('"', At) - At);
        }
    const std::size_t Glyphs = Body.find("<g>\n<symbol");
    if (Glyphs != std::string::npos) {
        const std::size_t End = Body.find("</symbol>\n</g>\n", Glyphs) + 15;
        const std::string Block = Body.substr(Glyphs, End - Glyphs);
        for (std::size_t At = 0; (At = Block.find("<symbol", At)) != std::string::npos;) {
            const std::size_t Close = Block.find("</symbol>", At);
            const std::string Symbol = Block.substr(At, Close - At);
            Outlines[Attribute(Symbol, "id")] = Attribute(Symbol, "d");
            At = Close;
        }
        Body.erase(Glyphs, End - Glyphs);
        const std::size_t Empty = Body.find("<defs>\n</defs>\n");
        if (Empty != std::string::npos) Body.erase(Empty, 15);
    }
    std::string Out;
    std::size_t From = 0;
    for (std::size_t At; (At = Body.find("<use xlink:href=\"#", From)) != std::string::npos;) {
        const std::size_t Close = Body.find("/>", At);
        const std::string Use = Body.substr(At, Close - At);
        const std::string Id = Attribute(Use, "xlink:href").substr(1);
        if (Id.rfind("glyph", 0) != 0 && Id.rfind("pvglyph", 0) != 0) {
            Out.append(Body, From, Close - From);
            From = Close;
            continue;
        }
        const auto It = Outlines.find(Id);
        EXPECT_NE(It, Outlines.end()) << "no definition of glyph " << Id;
        Out.append(Body, From, At - From);
        Out += "<glyph d=\"" + (It == Outlines.end() ? std::string() : It->second) + "\" x=\"" + Attribute(Use, "x") +
               "\" y=\"" + Attribute(Use, "y") + "\"";
        From = Close;
    }
    Out.append(Body, From, std::string::npos);
    return Out;
}

// Whether A and B are the same text, numbers equal to a millionth.
::testing::AssertionResult SameDocument(const std::string& A, const std::string& B) {
    std::size_t I = 0, J = 0;
    auto IsNumberStart = [](const std::string& S, std::size_t K) {
        return std::isdigit(static_cast<unsigned char>(S[K])) ||
               (S[K] == '-' && K + 1 < S.size() && std::isdigit(static_cast<unsigned char>(S[K + 1])));
    };
    while (I < A.size() && J < B.size()) {
        if (IsNumberStart(A, I) && IsNumberStart(B, J)) {
            char* EndA;
            char* EndB;
            const double X = std::strtod(A.c_str() + I, &EndA), Y = std::strtod(B.c_str() + J, &EndB);
            if (std::abs(X - Y) > 1.5e-6)
                return ::testing::AssertionFailure() << "differ at " << I << ": " << A.substr(I > 80 ? I - 80 : 0, 160)
                                                     << "\n  against: " << B.substr(J > 80 ? J - 80 : 0, 160);
            I = static_cast<std::size_t>(EndA - A.c_str());
            J = static_cast<std::size_t>(EndB - B.c_str());
        } else if (A[I] == B[J]) {
            ++I, ++J;
        } else {
            return ::testing::AssertionFailure() << "differ at " << I << ": " << A.substr(I > 80 ? I - 80 : 0, 160)
                                                 << "\n  against: " << B.substr(J > 80 ? J - 80 : 0, 160);
        }
    }
    if (I != A.size() || J != B.size()) return ::testing::AssertionFailure() << "one document is longer";
    return ::testing::AssertionSuccess();
}

std::size_t Count(const std::string& S, const std::string& What) {
    std::size_t N = 0;
    for (std::size_t At = 0; (At = S.find(What, At)) != std::string::npos; At += What.size()) ++N;
    return N;
}

TEST(SvgTextTest, ChartsAtEveryScaleAreTheDocumentsCairoWritesWithItsOwnText) {
    auto Plain = MakeR1();
    // Narrow: the month names stand on end, beside the left axis's title.
    auto Rotated = MakeR1(180, 300);
    Rotated->GetTitle()->GetText()->Clear();
    Rotated->GetTitle()->GetText()->Add("Über­sicht — 売上 ☃");
    auto Lines = MakeR1(400, 250, &TLineSeries::NewInstance);
    // Underlines and strokes through text are fills drawn with the text,
    // also on labels that stand on end.
    auto Marked = MakeR1(180, 300);
    Marked->GetTitle()->GetFont()->SetStyle(fsUnderline);
    Marked->GetBottomAxis()->GetLabelsFont()->SetStyle(fsUnderline | fsStrikeOut);
    Marked->GetLegend()->GetFont()->SetStyle(fsStrikeOut);
    for (const TChart* Chart : {Plain.get(), Rotated.get(), Lines.get(), Marked.get()})
        for (double Scale : {1.0, 1.5, 2.0, 3.25}) {
            SCOPED_TRACE(Scale);
            const TDocument Cairo = DrawChartSvg(*Chart, Scale, false);
            const TDocument Cached = DrawChartSvg(*Chart, Scale, true);
            ASSERT_TRUE(Cached.Placed);
            EXPECT_EQ(Cached.Svg.find("0.987654"), std::string::npos) << "a marker was left in the document";
            EXPECT_GT(Count(Cached.Svg, "<use "), 40u);
            EXPECT_EQ(Count(Cached.Svg, "<use "), Count(Cairo.Svg, "<use "));
            EXPECT_TRUE(SameDocument(Resolved(Cached.Svg), Resolved(Cairo.Svg)));
            if (const char* Dir = std::getenv("PLOTVANE_CHART_PNG_DIR")) {
                const std::string Name = std::string(Dir) + "/svgtext-" + std::to_string(Chart->GetWidth()) + "-" +
                                         std::to_string(Scale).substr(0, 4);
                std::ofstream(Name + ".svg", std::ios::binary) << Cached.Svg;
                std::ofstream(Name + "-cairo.svg", std::ios::binary) << Cairo.Svg;
            }
        }
}

// Fills go into the document as Cairo writes them too, and the fills and
// text drawn one after another share one marker: every kind of series, flat
// and in 3D, with pointers, stripes of negative points, a gradient behind
// and a pie's leader lines, gives the document Cairo writes on its own.
TEST(SvgTextTest, EveryKindOfSeriesIsTheDocumentCairoWritesOnItsOwn) {
    const TChartSeriesClass Kinds[] = {&TBarSeries::NewInstance,  &THorizBarSeries::NewInstance,
                                       &TLineSeries::NewInstance, &TAreaSeries::NewInstance,
                                       &TPointSeries::NewInstance, &TPieSeries::NewInstance};
    for (const TChartSeriesClass Kind : Kinds)
        for (const bool View3D : {false, true}) {
            auto Chart = MakeR1(400, 250, Kind);
            Chart->SetView3D(View3D);
            Chart->GetGradient()->SetVisible(View3D);
            Chart->GetGradient()->SetEndColor(clAqua);
            TChartSeries& S = *Chart->GetSeries(0);
            // A pie's negative slices, and their legend rows, are striped:
            // a pattern fill of an image, which is no raster fallback.
            SCOPED_TRACE(std::string(S.ClassName()) + (View3D ? " in 3D" : ""));
            for (double Scale : {1.0, 2.0}) {
                SCOPED_TRACE(Scale);
                const TDocument Cairo = DrawChartSvg(*Chart, Scale, false);
                const TDocument Cached = DrawChartSvg(*Chart, Scale, true);
                ASSERT_TRUE(Cached.Placed);
                EXPECT_EQ(Cached.Svg.find("0.987654"), std::string::npos) << "a marker was left in the document";
                EXPECT_TRUE(SameDocument(Resolved(Cached.Svg), Resolved(Cairo.Svg)));
                if (Kind == &TPieSeries::NewInstance) {
                    EXPECT_NE(Cached.Svg.find("<pattern"), std::string::npos);
                }
            }
        }
}

// A chart without any text (a sparkline of bars): the document is Cairo's as
// it stands, through the chart's own SVG.
TEST(SvgTextTest, AChartWithoutTextIsCairosDocumentAsItStands) {
    auto Chart = MakeR1();
    Chart->GetTitle()->SetVisible(false);
    Chart->GetLegend()->SetVisible(false);
    Chart->GetLeftAxis()->SetVisible(false);
    Chart->GetBottomAxis()->SetVisible(false);
    Chart->GetSeries(0)->GetMarks()->SetVisible(false);
    for (double Scale : {1.0, 2.0}) {
        SCOPED_TRACE(Scale);
        const std::string Svg = ChartSvg(*Chart, Scale);
        EXPECT_EQ(Count(Svg, "<use "), 0u);
        EXPECT_GT(Count(Svg, "<path "), 0u) << Svg;
        EXPECT_NE(Svg.find("</svg>"), std::string::npos) << Svg;
        EXPECT_TRUE(SameDocument(Resolved(Svg), Resolved(DrawChartSvg(*Chart, Scale, false).Svg)));
    }
}

// Text drawn straight onto a surface: clipped away, outside the page,
// rotated, in a gradient, and drawn again later in a font seen before, at
// a fraction of a pixel.
TEST(SvgTextTest, TextCairoWouldDropOrCannotShareIsHandledAsCairoHandlesIt) {
    TTextFont Font;
    Font.PixelSize = 18;
    TTextFont Bold = Font;
    Bold.Bold = true;
    auto Draw = [&](cairo_surface_t* S) {
        TTextEngine& Engine = TTextEngine::ForThisThread();
        cairo_t* Cr = cairo_create(S);
        cairo_set_source_rgb(Cr, 0.2, 0.4, 0.6);
        Engine.Layout(Font, "Visible")->Draw(Cr, 10, 10);
        Engine.Layout(Font, "Off the page")->Draw(Cr, 900, 900);
        Engine.Layout(Font, "Partly off")->Draw(Cr, 160, 60);
        cairo_save(Cr);
        cairo_rectangle(Cr, 0, 0, 50, 200);
        cairo_clip(Cr);
        Engine.Layout(Bold, "Clipped away")->Draw(Cr, 100, 100);
        Engine.Layout(Bold, "Half clipped")->Draw(Cr, 20, 130);
        cairo_restore(Cr);
        cairo_save(Cr);
        cairo_translate(Cr, 120, 180);
        cairo_rotate(Cr, -0.7);
        cairo_set_source_rgba(Cr, 1, 0, 0, 0.5);
        Engine.Layout(Font, "Rotated, half transparent")->Draw(Cr, 0, 0);
        cairo_restore(Cr);
        cairo_pattern_t* Gradient = cairo_pattern_create_linear(0, 0, 200, 0);
        cairo_pattern_add_color_stop_rgb(Gradient, 0, 0, 0, 1);
        cairo_pattern_add_color_stop_rgb(Gradient, 1, 0, 1, 0);
        cairo_set_source(Cr, Gradient);
        Engine.Layout(Font, "Gradient")->Draw(Cr, 10, 40);
        cairo_pattern_destroy(Gradient);
        cairo_set_source_rgb(Cr, 0, 0, 0);
        Engine.Layout(Font, "Visible again, 0.05")->Draw(Cr, 10.05, 200.0625);
        cairo_destroy(Cr);
    };
    const TDocument Cairo = DrawSvg(200, 240, false, Draw);
    const TDocument Cached = DrawSvg(200, 240, true, Draw);
    if (const char* Dir = std::getenv("PLOTVANE_CHART_PNG_DIR")) {
        std::ofstream(std::string(Dir) + "/svgtext-direct.svg", std::ios::binary) << Cached.Svg;
        std::ofstream(std::string(Dir) + "/svgtext-direct-cairo.svg", std::ios::binary) << Cairo.Svg;
    }
    ASSERT_TRUE(Cached.Placed);
    EXPECT_TRUE(SameDocument(Resolved(Cached.Svg), Resolved(Cairo.Svg)));
    // Drawn twice in one thread, the second document uses the outlines the
    // first formatted and is the same.
    EXPECT_EQ(Resolved(DrawSvg(200, 240, true, Draw).Svg), Resolved(Cached.Svg));
    // Another thread formats its own.
    std::string Other;
    std::thread([&] { Other = DrawSvg(200, 240, true, Draw).Svg; }).join();
    EXPECT_TRUE(SameDocument(Resolved(Other), Resolved(Cairo.Svg)));
}

// Runs and fills in a batch share one marker wherever Cairo puts it: as
// the rectangle it paints for a marker over the whole page, and inside the
// clip group of a clip the batch straddles. A fill over all of the clip is
// left to Cairo, and a path being built when the batch is flushed is kept.
TEST(SvgTextTest, ABatchOfRunsAndFillsIsWrittenWhereCairoPutsItsMarker) {
    TTextFont Font;
    Font.PixelSize = 14;
    bool Straddling = false;
    auto Draw = [&](cairo_surface_t* S) {
        TTextEngine& Engine = TTextEngine::ForThisThread();
        cairo_t* Cr = cairo_create(S);
        TSvgText* Svg = TSvgText::For(Cr);
        auto Fill = [&] {
            if (!Svg || !Svg->Fill(Cr)) cairo_fill(Cr);
        };
        if (Svg) Svg->BeginBatch(Cr);
        cairo_set_source_rgb(Cr, 0, 0, 0.5);
        Engine.Layout(Font, "Top left")->Draw(Cr, 0, 0);
        cairo_rectangle(Cr, 150, 70, 50, 30);
        cairo_set_source_rgb(Cr, 0, 0, 1);
        Fill();
        cairo_move_to(Cr, 10, 90);
        cairo_line_to(Cr, 60, 90);
        if (Svg) Svg->Flush(Cr);
        cairo_set_line_width(Cr, 2);
        cairo_stroke(Cr);

        cairo_save(Cr);
        cairo_rectangle(Cr, 60, 20, 50, 40);
        cairo_clip(Cr);
        cairo_rectangle(Cr, 60, 20, 50, 40);
        cairo_set_source_rgb(Cr, 1, 1, 0);
        Fill();
        cairo_arc(Cr, 100, 50, 15, 0, 2 * M_PI);
        cairo_set_source_rgba(Cr, 1, 0, 0, 0.5);
        Fill();
        if (Straddling) {
            cairo_set_fill_rule(Cr, CAIRO_FILL_RULE_EVEN_ODD);
            cairo_rectangle(Cr, 50, 25, 30, 20);
            cairo_rectangle(Cr, 55, 30, 20, 10);
            cairo_set_source_rgb(Cr, 0, 0.5, 0);
            Fill();
        }
        if (Svg) Svg->Flush(Cr);
        cairo_restore(Cr);
        Engine.Layout(Font, "Bottom")->Draw(Cr, 120, 84);
        if (Svg) Svg->EndBatch(Cr);
        cairo_destroy(Cr);
    };
    const TDocument Cairo = DrawSvg(200, 100, false, Draw);
    const TDocument Cached = DrawSvg(200, 100, true, Draw);
    ASSERT_TRUE(Cached.Placed);
    EXPECT_NE(Cached.Svg.find("clip-path"), std::string::npos);
    EXPECT_EQ(Cached.Svg.find("0.987654"), std::string::npos) << "a marker was left in the document";
    EXPECT_TRUE(SameDocument(Resolved(Cached.Svg), Resolved(Cairo.Svg)));

    // Two fills that each straddle the clip: Cairo would clip each to its own
    // box; in one batch both are in the clip group of the box around them,
    // which clips each of them the same.
    Straddling = true;
    const TDocument Two = DrawSvg(200, 100, true, Draw);
    ASSERT_TRUE(Two.Placed);
    const std::size_t Group = Two.Svg.find("<g clip-path=");
    ASSERT_NE(Group, std::string::npos);
    const std::size_t GroupEnd = Two.Svg.find("</g>", Group);
    EXPECT_LT(Two.Svg.find("fill-rule:evenodd;fill:rgb(0%,50%,0%)"), GroupEnd);
    EXPECT_GT(Two.Svg.find("fill-rule:evenodd"), Group);
    EXPECT_LT(Two.Svg.find("fill:rgb(100%,0%,0%);fill-opacity:0.5;"), GroupEnd);

    // A marker that Cairo writes as one element with a stroke of the same
    // path would take the stroke with it: such a document is refused.
    const TDocument Merged = DrawSvg(200, 100, true, [&](cairo_surface_t* S) {
        cairo_t* Cr = cairo_create(S);
        TSvgText* Svg = TSvgText::For(Cr);
        Svg->BeginBatch(Cr);
        cairo_rectangle(Cr, 10, 10, 40, 30);
        cairo_set_source_rgb(Cr, 0, 0, 1);
        if (!Svg->Fill(Cr)) cairo_fill(Cr);
        Svg->Flush(Cr);
        cairo_move_to(Cr, 10, 10);
        cairo_line_to(Cr, 10, 40);
        cairo_line_to(Cr, 50, 40);
        cairo_line_to(Cr, 50, 10);
        cairo_close_path(Cr);
        cairo_set_source_rgb(Cr, 1, 0, 0);
        cairo_stroke(Cr);
        Svg->EndBatch(Cr);
        cairo_destroy(Cr);
    });
    EXPECT_FALSE(Merged.Placed);

    // What follows held back pieces is drawn as it would be without them: a
    // gradient set under a transformation that changes before it is used,
    // and a path of several pieces being built while they are flushed.
    auto Later = [&](cairo_surface_t* S) {
        cairo_t* Cr = cairo_create(S);
        TSvgText* Svg = TSvgText::For(Cr);
        if (Svg) Svg->BeginBatch(Cr);
        cairo_rectangle(Cr, 5, 5, 20, 20);
        cairo_set_source_rgb(Cr, 0, 0.5, 0);
        if (!Svg || !Svg->Fill(Cr)) cairo_fill(Cr);
        cairo_pattern_t* Gradient = cairo_pattern_create_linear(0, 0, 100, 0);
        cairo_pattern_add_color_stop_rgb(Gradient, 0, 1, 0, 0);
        cairo_pattern_add_color_stop_rgb(Gradient, 1, 0, 0, 1);
        cairo_set_source(Cr, Gradient);
        cairo_pattern_destroy(Gradient);
        cairo_translate(Cr, 50, 0);
        cairo_move_to(Cr, 0, 40);
        cairo_line_to(Cr, 60, 40);
        cairo_close_path(Cr);
        cairo_line_to(Cr, 30, 90);
        cairo_new_sub_path(Cr);
        cairo_arc(Cr, 100, 60, 10, 0, M_PI);
        TTextEngine::ForThisThread().Layout(Font, "Gradient")->Draw(Cr, 0, 50);  // refused: flushes
        cairo_set_line_width(Cr, 3);
        cairo_stroke(Cr);
        if (Svg) Svg->EndBatch(Cr);
        cairo_destroy(Cr);
    };
    const TDocument LaterCached = DrawSvg(200, 100, true, Later);
    ASSERT_TRUE(LaterCached.Placed);
    EXPECT_TRUE(SameDocument(Resolved(LaterCached.Svg), Resolved(DrawSvg(200, 100, false, Later).Svg)));

    // An opaque paint over the page makes Cairo forget what came before it,
    // markers too: the document is refused, not written without the text.
    const TDocument Covered = DrawSvg(200, 100, true, [&](cairo_surface_t* S) {
        cairo_t* Cr = cairo_create(S);
        TTextEngine::ForThisThread().Layout(Font, "Gone")->Draw(Cr, 10, 10);
        cairo_set_source_rgb(Cr, 1, 1, 1);
        cairo_paint(Cr);
        cairo_destroy(Cr);
    });
    EXPECT_FALSE(Covered.Placed);
}

// A monochrome chart without a background colour of its own turns what is
// under it grey with a blend that Cairo's SVG writer can only rasterise, as
// it does text in any operator but OVER: the markers may be pixels of that
// image, so the cached text is refused and the document drawn again with
// Cairo's own text.
TEST(SvgTextTest, ADocumentWithARasterFallbackIsDrawnAgainWithCairosText) {
    const TDocument Added = DrawSvg(100, 40, true, [](cairo_surface_t* S) {
        cairo_t* Cr = cairo_create(S);
        TTextEngine::ForThisThread().Layout(TTextFont{}, "Over")->Draw(Cr, 10, 0);
        cairo_set_operator(Cr, CAIRO_OPERATOR_ADD);
        TTextEngine::ForThisThread().Layout(TTextFont{}, "Added")->Draw(Cr, 10, 20);
        cairo_destroy(Cr);
    });
    EXPECT_FALSE(Added.Placed);

    auto Chart = MakeR1();
    Chart->SetColor(clNone);
    Chart->SetMonochrome(true);
    const TDocument Cached = DrawChartSvg(*Chart, 1, true);
    EXPECT_FALSE(Cached.Placed);
    const std::string Svg = ChartSvg(*Chart);
    EXPECT_NE(Svg.find("<image"), std::string::npos);
    EXPECT_EQ(Svg.find("0.987654"), std::string::npos);
    EXPECT_EQ(Resolved(Svg), Resolved(DrawChartSvg(*Chart, 1, false).Svg));
    // Without the fallback the chart's document is the cached one.
    Chart->SetMonochrome(false);
    EXPECT_TRUE(SameDocument(Resolved(ChartSvg(*Chart)),
                             Resolved(DrawChartSvg(*Chart, 1, false).Svg)));
}

// The recorder reads the words Cairo writes its SVG in. This Cairo's must be
// read (or every chart's SVG silently takes the slow path); a Cairo that
// writes fills as attributes, as later ones do, or prints the marker's
// opacity otherwise, is refused before any chart is drawn twice.
TEST(SvgTextTest, OnlyTheWordsOfThisCairoAreReadAsItsDocument) {
    EXPECT_TRUE(TSvgText::Usable());
    EXPECT_TRUE(TSvgText::AcceptsProbe([](std::string D) { return D; }));
    const auto Replace = [](std::string D, const std::string& From, const std::string& To) {
        for (std::size_t At = 0; (At = D.find(From, At)) != std::string::npos; At += To.size()) D.replace(At, From.size(), To);
        return D;
    };
    EXPECT_FALSE(TSvgText::AcceptsProbe([&](std::string D) {
        D = Replace(std::move(D), "<path style=\" stroke:none;fill-rule:nonzero;fill:", "<path fill-rule=\"nonzero\" fill=\"");
        return Replace(std::move(D), ";fill-opacity:0.987654;\" d=", "\" fill-opacity=\"0.987654\" d=");
    }));
    EXPECT_FALSE(TSvgText::AcceptsProbe([&](std::string D) { return Replace(std::move(D), "0.987654", "0.98765"); }));
}

}  // namespace
}  // namespace pv
