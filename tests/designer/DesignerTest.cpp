// The designer's editing layer and its HTTP front on copies of the sample
// form: property edits through the reader's setter path, refusals that keep
// the old value, undo and redo, data sets, saving, and the request checks.

#include "designer/Designer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "component/Norq_PlotvaneSeries.h"
#include "designer/DesignServer.h"
#include "host/FormClasses.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/FormWriter.h"
#include "platform/vcl/Bitmap.h"
#include "tests/support/HttpTestClient.h"
#include "tests/support/ThrowMessage.h"

namespace plotvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string ReadText(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

void WriteText(const fs::path& P, const std::string& Text) {
    std::ofstream Out(P, std::ios::binary);
    Out << Text;
}

int AfterDraws = 0;

// The table a table form edits: the sample's sums by month, one row a month.
constexpr const char* MonthlyTableSql =
    "CREATE TABLE monthly AS SELECT month_no, month, SUM(revenue) AS revenue FROM sales "
    "GROUP BY month_no, month ORDER BY month_no";

// A folder with the sample form, a variant over the editable table, and a
// private copy of the database.
class DesignerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("plotvane-designer-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        fs::copy_file(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "sales.db", Dir / "sales.db");
        sqlite3* Db = nullptr;
        ASSERT_EQ(sqlite3_open((Dir / "sales.db").string().c_str(), &Db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(Db, MonthlyTableSql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(Db);
        Sample = ReadText(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "sales.form");
        WriteText(Form(), Sample);
        std::string Table = Sample;
        const std::size_t From = Table.find("  object SalesQuery");
        const std::size_t To = Table.find("  end\n", From) + 6;
        Table.replace(From, To - From,
                      "  object SalesTable: TSQLiteTable\n    Tag = 0\n    DatabaseName = 'sales.db'\n"
                      "    TableName = 'monthly'\n    Active = True\n  end\n");
        Table.replace(Table.find("DataSet = SalesQuery"), 20, "DataSet = SalesTable");
        WriteText(Dir / "table.form", Table);
        AfterDraws = 0;
        pv::RegisterEventHandler("CountAfterDraw", pv::TNotifyEvent([](pv::TObject*) { ++AfterDraws; }));
    }
    void TearDown() override {
        pv::UnregisterEventHandler("CountAfterDraw");
        fs::remove_all(Dir);
    }
    std::string Form() const { return (Dir / "sales.form").string(); }
    std::string TableForm() const { return (Dir / "table.form").string(); }
    // A designer server of the sample form on one thread, logging nothing.
    TDesignServerOptions QuietServer() const {
        TDesignServerOptions O;
        O.FormFile = Form();
        O.Http.Log = [](std::string_view) {};
        O.Http.Threads = 1;
        return O;
    }

    static json Prop(TDesigner& D, const std::string& Component, const std::string& Path) {
        const json State = D.ComponentState(Component);
        for (const json& P : State["properties"]) {
            if (P["path"] == Path) return P;
            if (P.contains("props"))
                for (const json& S : P["props"])
                    if (S["path"] == Path) return S;
        }
        ADD_FAILURE() << "no property " << Path;
        return {};
    }

    fs::path Dir;
    std::string Sample;
};

#define EXPECT_DESIGN_ERROR(Statement, ExpectedStatus, Fragment)                              \
    EXPECT_THROW_CHECK(Statement, EDesignError, [&](const EDesignError& E) {                  \
        EXPECT_EQ(E.Status(), ExpectedStatus) << E.what();                                    \
        EXPECT_NE(std::string(E.what()).find(Fragment), std::string::npos) << E.what();        \
    })

TEST_F(DesignerTest, ThePropertyListIsTheTablesInTheirOrderWithGroupsAndEditorsData) {
    TDesigner D(Form());
    json Chart = D.ComponentState("RevenueChart");
    EXPECT_TRUE(Chart["chart"]);
    EXPECT_EQ(Chart["chartDataSet"], "SalesQuery");
    std::vector<std::string> Names;
    for (const json& P : Chart["properties"]) Names.push_back(P["name"]);
    const auto Table = pv::GetPropList(Norq_Plotvane::TNorq_DBPlotvane::StaticClassInfo());
    ASSERT_EQ(Names.size(), Table.size());
    for (std::size_t I = 0; I < Names.size(); ++I) EXPECT_EQ(Names[I], Table[I]->Name);

    EXPECT_EQ(Prop(D, "RevenueChart", "TitleColor")["group"], "title");
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleColor")["kind"], "color");
    EXPECT_EQ(Prop(D, "RevenueChart", "Color")["group"], "background");
    EXPECT_EQ(Prop(D, "RevenueChart", "View3DPercent")["group"], "3D");
    EXPECT_EQ(Prop(D, "RevenueChart", "MarksFont.Size")["group"], "marks");
    EXPECT_EQ(Prop(D, "RevenueChart", "YValueSource")["group"], "data");
    EXPECT_EQ(Prop(D, "RevenueChart", "JPEGQuality")["min"], 1);
    EXPECT_EQ(Prop(D, "RevenueChart", "JPEGQuality")["max"], 100);
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleText.Strings")["value"], json::array({"Monthly revenue"}));
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleFont.Style")["value"], json::array({"fsBold"}));
    EXPECT_EQ(Prop(D, "RevenueChart", "DataSource")["choices"], json::array({"SalesSource"}));
    EXPECT_EQ(Prop(D, "RevenueChart", "SeriesType")["choices"].size(), 6u);
    EXPECT_EQ(Prop(D, "RevenueChart", "Theme")["choices"], json::array({"thClassic", "thModern", "thDark"}));
    // The image the designer lends the chart is not the form's: nil.
    EXPECT_EQ(Prop(D, "RevenueChart", "PreviewImage")["text"], "nil");
    EXPECT_EQ(Prop(D, "RevenueChart", "PreviewImage")["choices"], json::array());
    // The groups cover every property of the chart.
    for (const json& P : Chart["properties"]) {
        const auto& G = ChartPropertyGroups();
        EXPECT_NE(std::find(G.begin(), G.end(), P["group"].get<std::string>()), G.end()) << P["name"];
    }
}

TEST_F(DesignerTest, EditsGoThroughTheSettersAndRedrawThePreview) {
    TDesigner D(Form());
    const std::string Before = D.PreviewPng("RevenueChart");
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Before);
    D.SetProperty("RevenueChart", "TitleColor", "clRed");
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleColor")["text"], "clRed");
    const std::string Red = D.PreviewPng("RevenueChart");
    EXPECT_NE(Red, Before);
    D.SetProperty("RevenueChart", "TitleColor", "#0F0");
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleColor")["text"], "clLime");
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleColor")["rgb"], "#00ff00");
    D.SetProperty("RevenueChart", "TitleText.Strings", json::array({"Revenue", "2026"}));
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleText.Strings")["value"], json::array({"Revenue", "2026"}));
    // A sub-object's property: the font's size and style.
    const std::string Lime = D.PreviewPng("RevenueChart");
    D.SetProperty("RevenueChart", "TitleFont.Size", 16);
    D.SetProperty("RevenueChart", "TitleFont.Style", json::array({"fsBold", "fsItalic"}));
    EXPECT_EQ(Prop(D, "RevenueChart", "TitleFont.Size")["value"], 16);
    EXPECT_NE(D.PreviewPng("RevenueChart"), Lime);
    // The theme chooser: another look, and back to the same picture.
    const std::string Sized = D.PreviewPng("RevenueChart");
    D.SetProperty("RevenueChart", "Theme", "thDark");
    EXPECT_NE(D.PreviewPng("RevenueChart"), Sized);
    D.SetProperty("RevenueChart", "Theme", "thClassic");
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Sized);
    D.SetProperty("RevenueChart", "SeriesType", "stLine");
    D.SetProperty("RevenueChart", "View3D", true);
    EXPECT_EQ(Prop(D, "RevenueChart", "SeriesType")["value"], "stLine");
    // The same value again records nothing.
    D.SetProperty("RevenueChart", "View3D", true);
    int Undos = 0;
    while (D.Undo()) ++Undos;
    EXPECT_EQ(Undos, 9);
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Before);
    EXPECT_FALSE(D.Modified());
    EXPECT_EQ(D.FormText(), Sample);
}

TEST_F(DesignerTest, RefusedValuesBringTheComponentsMessageAndKeepTheOldValue) {
    TDesigner D(Form());
    const std::string Before = D.PreviewPng("RevenueChart");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "JPEGQuality", 150), 422, "out of range 1..100");
    EXPECT_EQ(Prop(D, "RevenueChart", "JPEGQuality")["value"], 80);
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "Width", 0), 422, "Width 0");
    EXPECT_EQ(Prop(D, "RevenueChart", "Width")["value"], 400);
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "Width", "wide"), 422, "wide");
    // The setter takes an unknown field name and the render then fails: the
    // old name goes back.
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "YValueSource", "nosuch"), 422, "field \"nosuch\" not found");
    EXPECT_EQ(Prop(D, "RevenueChart", "YValueSource")["value"], "revenue");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "SeriesType", "stDonut"), 422, "stDonut");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "DataSource", "RevenueChart"), 422, "RevenueChart");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "NoSuchProperty", 1), 404, "NoSuchProperty");
    EXPECT_DESIGN_ERROR(D.SetProperty("NoChart", "Width", 1), 404, "NoChart");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "TitleFont", 1), 400, "TitleFont");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "View3D", "yes"), 400, "true or false");
    EXPECT_DESIGN_ERROR(D.SetProperty("RevenueChart", "Color", "#12345"), 422,
                        "Color: #12345 is not a colour; write a colour name (clRed, red, cornflowerblue), #rrggbb");
    EXPECT_FALSE(D.CanUndo());
    EXPECT_FALSE(D.Modified());
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Before);
    EXPECT_EQ(D.FormText(), Sample);
}

TEST_F(DesignerTest, UndoAndRedoWalkTheHistoryAndANewEditDropsTheRedos) {
    TDesigner D(Form());
    D.SetProperty("RevenueChart", "Width", 500);
    D.SetProperty("RevenueChart", "Height", 300);
    EXPECT_TRUE(D.Undo());
    EXPECT_EQ(Prop(D, "RevenueChart", "Height")["value"], 250);
    EXPECT_TRUE(D.CanRedo());
    EXPECT_TRUE(D.Redo());
    EXPECT_EQ(Prop(D, "RevenueChart", "Height")["value"], 300);
    EXPECT_FALSE(D.Redo());
    EXPECT_TRUE(D.Undo());
    EXPECT_TRUE(D.Undo());
    EXPECT_FALSE(D.Undo());
    EXPECT_FALSE(D.Modified());
    EXPECT_TRUE(D.Redo());
    D.SetProperty("RevenueChart", "LegendVisible", false);
    EXPECT_FALSE(D.CanRedo());
    EXPECT_TRUE(D.Modified());
    EXPECT_EQ(Prop(D, "RevenueChart", "Width")["value"], 500);
    EXPECT_EQ(Prop(D, "RevenueChart", "Height")["value"], 250);
}

TEST_F(DesignerTest, SaveWritesTheFormWriterTextKeepsTheBackupAndRefusesAChangedFile) {
    {
        TDesigner D(Form());
        D.SetProperty("RevenueChart", "TitleColor", "clYellow");
        EXPECT_TRUE(D.Modified());
        D.Save(false);
        EXPECT_FALSE(D.Modified());
        const std::string Saved = ReadText(Form());
        EXPECT_EQ(ReadText(Form() + ".bak"), Sample);
        EXPECT_NE(Saved.find("TitleColor = clYellow"), std::string::npos);
        EXPECT_NE(Saved.find("PreviewImage = nil"), std::string::npos);
        EXPECT_EQ(Saved, D.FormText());
        // No temporary file is left beside the form.
        int Files = 0;
        for (auto& E : fs::directory_iterator(Dir)) Files += E.path().filename().string().starts_with("sales.form");
        EXPECT_EQ(Files, 2);

        // An undo past the save is a change again.
        D.Undo();
        EXPECT_TRUE(D.Modified());
        D.Redo();
        EXPECT_FALSE(D.Modified());

        // Someone else writes the file: no overwrite without asking.
        WriteText(Form(), Saved + "\n");
        EXPECT_TRUE(D.ChangedOnDisk());
        D.SetProperty("RevenueChart", "Width", 420);
        EXPECT_DESIGN_ERROR(D.Save(false), 409, "changed on disk");
        EXPECT_EQ(ReadText(Form()), Saved + "\n");
        D.Save(true);
        EXPECT_EQ(ReadText(Form() + ".bak"), Saved + "\n");
        EXPECT_NE(ReadText(Form()).find("Width = 420"), std::string::npos);
        EXPECT_FALSE(D.ChangedOnDisk());
    }
    // What was saved reads back into the same text: the form writer's.
    TDesigner Again(Form());
    EXPECT_EQ(Again.FormText(), ReadText(Form()));
    EXPECT_EQ(pv::WriteForm(*LoadForm(Form())), ReadText(Form()));
}

TEST_F(DesignerTest, InTheDesignerOnAfterDrawIsNeverCalled) {
    std::string Text = Sample;
    Text.replace(Text.find("OnAfterDraw = nil"), 17, "OnAfterDraw = CountAfterDraw");
    WriteText(Form(), Text);
    TDesigner D(Form());
    D.SetProperty("RevenueChart", "Width", 450);
    D.PreviewPng("RevenueChart");
    D.Undo();
    EXPECT_EQ(AfterDraws, 0);
    EXPECT_EQ(Prop(D, "RevenueChart", "OnAfterDraw")["value"], "CountAfterDraw");
    EXPECT_EQ(D.FormText(), Text);
}

TEST_F(DesignerTest, DataSetsOpenCloseAndATableRecordIsPostedAndDrawn) {
    TDesigner D(TableForm());
    json R = D.Records("SalesTable");
    EXPECT_TRUE(R["active"]);
    EXPECT_TRUE(R["canModify"]);
    ASSERT_EQ(R["records"].size(), 12u);
    EXPECT_EQ(R["fields"][2]["name"], "revenue");
    const std::string Before = D.PreviewPng("RevenueChart");

    D.PostRecord("SalesTable", 1, json{{"revenue", "44"}});
    EXPECT_EQ(D.Records("SalesTable")["records"][0][2], "44");
    const std::string Posted = D.PreviewPng("RevenueChart");
    EXPECT_NE(Posted, Before);
    // The database holds it.
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open((Dir / "sales.db").string().c_str(), &Db), SQLITE_OK);
    sqlite3_stmt* St = nullptr;
    sqlite3_prepare_v2(Db, "SELECT revenue FROM monthly WHERE rowid = 1", -1, &St, nullptr);
    ASSERT_EQ(sqlite3_step(St), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_double(St, 0), 44.0);
    sqlite3_finalize(St);
    sqlite3_close(Db);

    EXPECT_DESIGN_ERROR(D.PostRecord("SalesTable", 13, json{{"revenue", "1"}}), 422, "13");
    EXPECT_DESIGN_ERROR(D.PostRecord("SalesTable", 1, json{{"nosuch", "1"}}), 422, "nosuch");
    EXPECT_EQ(D.Records("SalesTable")["records"][0][2], "44");

    D.SetDataSetActive("SalesTable", false);
    EXPECT_FALSE(D.Records("SalesTable")["active"]);
    EXPECT_NE(D.PreviewPng("RevenueChart"), Posted);
    EXPECT_DESIGN_ERROR(D.PostRecord("SalesTable", 1, json{{"revenue", "1"}}), 422, "closed");
    D.SetDataSetActive("SalesTable", true);
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Posted);
    EXPECT_DESIGN_ERROR(D.Records("SalesSource"), 404, "no data set");
}

TEST_F(DesignerTest, APreviewImageOfTheFormIsUsedAndNilGetsTheDesignersOwn) {
    std::string Text = Sample;
    Text.replace(Text.find("  object RevenueChart"), 0, "  object Image1: TImage\n    Tag = 0\n  end\n");
    Text.replace(Text.find("PreviewImage = nil"), 18, "PreviewImage = Image1");
    WriteText(Form(), Text);
    TDesigner D(Form());
    EXPECT_EQ(Prop(D, "RevenueChart", "PreviewImage")["value"], "Image1");
    EXPECT_EQ(Prop(D, "RevenueChart", "PreviewImage")["choices"], json::array({"Image1"}));
    const std::string Png = D.PreviewPng("RevenueChart");
    auto* Image = dynamic_cast<pv::TImage*>(&*D.Module().FindComponent("Image1"));
    ASSERT_NE(Image, nullptr);
    EXPECT_FALSE(Image->GetPicture()->GetEmpty());
    D.SetProperty("RevenueChart", "PreviewImage", "");
    EXPECT_EQ(Prop(D, "RevenueChart", "PreviewImage")["text"], "nil");
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Png);
    EXPECT_NE(D.FormText().find("PreviewImage = nil"), std::string::npos);
    D.Undo();
    EXPECT_EQ(D.FormText(), Text);
}

TEST_F(DesignerTest, AQueryIsReadOnly) {
    TDesigner D(Form());
    EXPECT_FALSE(D.Records("SalesQuery")["canModify"]);
    EXPECT_DESIGN_ERROR(D.PostRecord("SalesQuery", 1, json{{"revenue", "1"}}), 422, "cannot be edited");
}

TEST_F(DesignerTest, AQueryEditOpensItAgainARefusedOneKeepsItOpenAndSavingItClosedAsks) {
    TDesigner D(Form());
    const std::string Sums = D.PreviewPng("RevenueChart");
    const json SampleSql = Prop(D, "SalesQuery", "SQL.Strings")["value"];
    auto Refusal = [](const std::function<void()>& Edit) {
        try {
            Edit();
        } catch (const EDesignError& E) {
            return std::to_string(E.Status()) + " " + E.what();
        }
        return std::string("no refusal");
    };

    // Other SQL that runs: the query is open again at once, the chart shows
    // its rows, and the form is saved with the query open.
    const json EuSql = json::array({"SELECT month, revenue FROM sales WHERE region = 'EU' ORDER BY month_no"});
    D.SetProperty("SalesQuery", "SQL.Strings", EuSql);
    json R = D.Records("SalesQuery");
    EXPECT_TRUE(R["active"]);
    ASSERT_EQ(R["records"].size(), 12u);
    EXPECT_EQ(R["records"][0], json::array({"Jan", "7"}));
    const std::string Eu = D.PreviewPng("RevenueChart");
    EXPECT_NE(Eu, Sums);
    D.Save(false);
    const std::string Saved = ReadText(Form());
    EXPECT_NE(Saved.find("region = ''EU''"), std::string::npos) << Saved;
    EXPECT_NE(Saved.find("    Active = True\n"), std::string::npos) << Saved;

    // SQL that does not run, a database that is not there: refused with the
    // data set and the cause, the old value back, the query open with its
    // rows as before.
    EXPECT_EQ(Refusal([&] { D.SetProperty("SalesQuery", "SQL.Strings", json::array({"SELECT x FROM nosuch"})); }),
              "422 SalesQuery was open and cannot open again: cannot run the SQL on database \"" +
                  (Dir / "sales.db").string() + "\": no such table: nosuch");
    EXPECT_EQ(Refusal([&] { D.SetProperty("SalesQuery", "DatabaseName", "missing.db"); }),
              "422 SalesQuery was open and cannot open again: cannot open database \"" + (Dir / "missing.db").string() +
                  "\": unable to open database file");
    EXPECT_EQ(Prop(D, "SalesQuery", "SQL.Strings")["value"], EuSql);
    EXPECT_EQ(Prop(D, "SalesQuery", "DatabaseName")["value"], "sales.db");
    EXPECT_TRUE(D.Records("SalesQuery")["active"]);
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Eu);
    EXPECT_FALSE(D.Modified());
    // An undo is an edit too: the sample's SQL runs again.
    ASSERT_TRUE(D.Undo());
    EXPECT_EQ(Prop(D, "SalesQuery", "SQL.Strings")["value"], SampleSql);
    EXPECT_TRUE(D.Records("SalesQuery")["active"]);
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Sums);
    ASSERT_TRUE(D.Redo());

    // Closed on purpose, it stays closed through other edits; Save asks
    // before it writes Active = False, and writes once told to.
    D.SetDataSetActive("SalesQuery", false);
    D.SetProperty("RevenueChart", "Width", 420);
    EXPECT_FALSE(D.Records("SalesQuery")["active"]);
    try {
        D.Save(false);
        ADD_FAILURE() << "saved a closed query without asking";
    } catch (const EDesignError& E) {
        EXPECT_EQ(E.Status(), 409);
        EXPECT_EQ(E.Reason(), "inactive");
        EXPECT_EQ(std::string(E.what()),
                  "SalesQuery was open when the form was saved and is closed now: saved so (Active = False), it "
                  "stays closed whenever the form is read, and chart \"RevenueChart\" has no points; save again "
                  "with inactive to write it so");
    }
    EXPECT_EQ(ReadText(Form()), Saved);
    D.Save(false, /*Inactive=*/true);
    EXPECT_NE(ReadText(Form()).find("    Active = False\n"), std::string::npos);
    EXPECT_NE(ReadText(Form()).find("Width = 420"), std::string::npos);
}

// The pixels of colour Color in the chart's preview picture.
int PreviewPixels(TDesigner& D, const std::string& Chart, pv::TColor Color) {
    auto* C = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(D.Module().FindComponent(Chart));
    pv::TBitmap* B = C && C->GetPreviewImage() ? C->GetPreviewImage()->GetPicture()->GetBitmap() : nullptr;
    if (!B) return -1;
    int N = 0;
    for (int Y = 0; Y < B->GetHeight(); ++Y)
        for (int X = 0; X < B->GetWidth(); ++X) N += B->GetPixel(X, Y) == Color;
    return N;
}

TEST_F(DesignerTest, ASeriesIsAddedEditedRemovedAndPutBackAndTheFormSavesItWhole) {
    TDesigner D(Form());
    auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(D.Module().FindComponent("RevenueChart"));
    ASSERT_NE(Chart, nullptr);
    const std::string Before = D.PreviewPng("RevenueChart");
    EXPECT_EQ(PreviewPixels(D, "RevenueChart", pv::clLime), 0);
    // The chart's properties for several series have their groups and choosers.
    EXPECT_EQ(Prop(D, "RevenueChart", "Stacking")["group"], "series");
    EXPECT_EQ(Prop(D, "RevenueChart", "Stacking")["choices"], json::array({"sgNone", "sgStacked", "sgStacked100"}));
    EXPECT_EQ(Prop(D, "RevenueChart", "GroupSource")["list"], "fields:SalesQuery");
    EXPECT_EQ(Prop(D, "RevenueChart", "ValueAxisLogarithmic")["group"], "axes");
    EXPECT_EQ(Prop(D, "RevenueChart", "SeriesPalette")["swatches"][0], "#e69f00");

    EXPECT_EQ(D.AddSeries("RevenueChart"), "Series1");
    json S1 = D.ComponentState("Series1");
    EXPECT_EQ(S1["seriesOf"], "RevenueChart");
    EXPECT_EQ(S1["groups"], json::array({"data", "series", "marks"}));
    EXPECT_EQ(Prop(D, "Series1", "DataSource")["value"], "SalesSource");
    EXPECT_EQ(Prop(D, "Series1", "XLabelsSource")["value"], "month");
    // Every type but the pie, which a further series cannot be.
    EXPECT_EQ(Prop(D, "Series1", "SeriesType")["choices"],
              json::array({"stBar", "stHorizBar", "stLine", "stArea", "stPoint"}));
    const json State = D.State();
    EXPECT_EQ(State["lists"]["fields:SalesQuery"], json::array({"month", "revenue"}));
    EXPECT_EQ(D.ComponentState("RevenueChart")["series"], json::array({"Series1"}));
    D.SetProperty("Series1", "YValueSource", "revenue");
    D.SetProperty("Series1", "SeriesColor", "clLime");
    D.SetProperty("Series1", "SeriesType", "stLine");
    const int Lime = PreviewPixels(D, "RevenueChart", pv::clLime);
    EXPECT_GT(Lime, 200) << "the line over twelve months";
    const std::string WithLine = D.PreviewPng("RevenueChart");
    EXPECT_NE(WithLine, Before);
    // A field the data set does not have: refused naming the series and the
    // field, and the series keeps its field and its picture.
    try {
        D.SetProperty("Series1", "YValueSource", "nosuch");
        ADD_FAILURE() << "a field that is not there was taken";
    } catch (const EDesignError& E) {
        EXPECT_EQ(E.Status(), 422);
        const std::string M = E.what();
        EXPECT_NE(M.find("Series1.YValueSource"), std::string::npos) << M;
        EXPECT_NE(M.find("field \"nosuch\" not found"), std::string::npos) << M;
    }
    EXPECT_EQ(Prop(D, "Series1", "YValueSource")["value"], "revenue");
    EXPECT_EQ(D.PreviewPng("RevenueChart"), WithLine);
    D.SetProperty("RevenueChart", "Stacking", "sgStacked");

    // A second one gets the next name; removing the first takes its line
    // away and leaves nothing that names it.
    EXPECT_EQ(D.AddSeries("RevenueChart"), "Series2");
    EXPECT_EQ(Chart->ExtraSeriesCount(), 2);
    D.RemoveSeries("Series1");
    EXPECT_EQ(Chart->ExtraSeriesCount(), 1);
    EXPECT_EQ(D.Module().FindComponent("Series1"), nullptr);
    EXPECT_EQ(D.ComponentState("RevenueChart")["series"], json::array({"Series2"}));
    EXPECT_EQ(PreviewPixels(D, "RevenueChart", pv::clLime), 0);
    EXPECT_EQ(D.FormText().find("Series1"), std::string::npos);
    EXPECT_DESIGN_ERROR(D.RemoveSeries("Series1"), 404, "Series1");
    EXPECT_DESIGN_ERROR(D.RemoveSeries("RevenueChart"), 422, "not a series");
    EXPECT_DESIGN_ERROR(D.AddSeries("SalesSource"), 404, "no chart");

    // Undone, it is back with its properties, at its place in the form.
    ASSERT_TRUE(D.Undo());
    EXPECT_EQ(Chart->ExtraSeriesCount(), 2);
    EXPECT_EQ(Prop(D, "Series1", "YValueSource")["value"], "revenue");
    EXPECT_EQ(PreviewPixels(D, "RevenueChart", pv::clLime), Lime);
    const std::string Text = D.FormText();
    ASSERT_LT(Text.find("object Series1: TNorq_DBPlotvaneSeries"), Text.find("object Series2"));
    EXPECT_NE(Text.find("    Chart = RevenueChart\n    DataSource = SalesSource\n    XLabelsSource = 'month'\n"
                        "    XValueSource = ''\n    YValueSource = 'revenue'\n    SeriesType = stLine\n"),
              std::string::npos)
        << Text;
    EXPECT_NE(Text.find("  Stacking = sgStacked\n"), std::string::npos);
    D.Save(false);
    EXPECT_EQ(ReadText(Form()), Text);
    {
        // Read back, the form has both series on the chart and writes the same.
        TDesigner Again(Form());
        EXPECT_EQ(Again.FormText(), Text);
        EXPECT_EQ(Again.ComponentState("RevenueChart")["series"], json::array({"Series1", "Series2"}));
        EXPECT_EQ(PreviewPixels(Again, "RevenueChart", pv::clLime), Lime);
        EXPECT_EQ(pv::WriteForm(*LoadForm(Form())), Text);
    }

    // Every change undone, series added and put back included: the form
    // as it was read, byte for byte; redone up to the save, as saved (the
    // removal of Series1 is still there to redo).
    int Undos = 0;
    while (D.Undo()) ++Undos;
    EXPECT_EQ(Undos, 6);
    EXPECT_EQ(Chart->ExtraSeriesCount(), 0);
    EXPECT_EQ(D.FormText(), Sample);
    EXPECT_EQ(D.PreviewPng("RevenueChart"), Before);
    for (int I = 0; I < Undos; ++I) ASSERT_TRUE(D.Redo());
    EXPECT_EQ(D.FormText(), Text);
    EXPECT_FALSE(D.Modified());
    EXPECT_EQ(PreviewPixels(D, "RevenueChart", pv::clLime), Lime);
    ASSERT_TRUE(D.Redo());
    EXPECT_EQ(D.Module().FindComponent("Series1"), nullptr);
    EXPECT_TRUE(D.Modified());

    // A form that has a series already saves untouched as it was read.
    const fs::path Regions = Dir / "regions.form";
    fs::copy_file(fs::path(PLOTVANE_EXAMPLES_BUILD_DIR) / "regions.form", Regions);
    TDesigner R(Regions.string());
    EXPECT_EQ(R.FormText(), ReadText(Regions));
    EXPECT_EQ(R.ComponentState("TotalSeries")["seriesOf"], "GroupedChart");
    R.RemoveSeries("TotalSeries");
    R.Undo();
    EXPECT_EQ(R.FormText(), ReadText(Regions));
}

// ---------------------------------------------------------------------------
// The HTTP front

TEST_F(DesignerTest, TheServerAnswersOnlyWithItsTokenAndRefusesCrossOriginWrites) {
    TDesignServer S(QuietServer());
    S.Start();
    const std::uint16_t Port = S.GetPort();
    const std::string Token = S.Token();
    EXPECT_EQ(Token.size(), 32u);
    EXPECT_EQ(S.Url(), "http://127.0.0.1:" + std::to_string(Port) + "/?token=" + Token);

    pvtest::THttpConnection C(Port);
    auto Get = [&](const std::string& Target, pv::TWebFields H = {}) { return C.Request("GET", Target, H); };
    EXPECT_EQ(Get("/").Status, 403);
    EXPECT_EQ(Get("/api/state").Status, 403);
    EXPECT_EQ(Get("/?token=" + std::string(32, '0')).Status, 403);
    EXPECT_EQ(Get("/api/state", {{"X-Plotvane-Token", Token + "x"}}).Status, 403);
    // The icon is the one thing answered without the token: a 16 x 16 PNG.
    pvtest::THttpReply Icon = Get("/favicon.ico");
    EXPECT_EQ(Icon.Status, 200);
    EXPECT_EQ(Icon.Header("Content-Type"), "image/png");
    ASSERT_GE(Icon.Body.size(), 24u);
    EXPECT_EQ(Icon.Body.substr(1, 3), "PNG");
    EXPECT_EQ(Icon.Body.substr(16, 8), std::string("\0\0\0\x10\0\0\0\x10", 8));
    pvtest::THttpReply Page = Get("/?token=" + Token);
    EXPECT_EQ(Page.Status, 200);
    EXPECT_NE(Page.Body.find("/designer.js?token=" + Token), std::string::npos);
    EXPECT_NE(Page.Header("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
    EXPECT_EQ(Page.Header("Referrer-Policy"), "no-referrer");
    EXPECT_EQ(Get("/designer.js?token=" + Token).Status, 200);
    pvtest::THttpReply State = Get("/api/state", {{"X-Plotvane-Token", Token}});
    EXPECT_EQ(State.Status, 200);
    EXPECT_EQ(json::parse(State.Body)["components"].size(), 4u);
    pvtest::THttpReply Png = Get("/api/preview?chart=RevenueChart&token=" + Token);
    EXPECT_EQ(Png.Status, 200);
    EXPECT_EQ(Png.Header("Content-Type"), "image/png");
    EXPECT_EQ(Get("/api/preview?chart=RevenueChart&token=" + Token, {{"If-None-Match", Png.Header("ETag")}}).Status,
              304);
    // For a screen of twice the pixel density: twice as wide (the PNG's
    // width is bytes 16..19); a scale the chart server refuses, refused alike.
    auto PngWidth = [](const std::string& B) {
        return B.size() < 24 ? 0u : (std::uint32_t(std::uint8_t(B[16])) << 24 | std::uint32_t(std::uint8_t(B[17])) << 16 |
                                     std::uint32_t(std::uint8_t(B[18])) << 8 | std::uint8_t(B[19]));
    };
    EXPECT_EQ(PngWidth(Get("/api/preview?chart=RevenueChart&scale=2&token=" + Token).Body), 2 * PngWidth(Png.Body));
    pvtest::THttpReply Huge = Get("/api/preview?chart=RevenueChart&scale=9&token=" + Token);
    EXPECT_EQ(Huge.Status, 400);
    EXPECT_NE(Huge.Body.find("scale"), std::string::npos) << Huge.Body;
    EXPECT_EQ(Get("/api/preview?chart=RevenueChart&token=" + Token, {{"If-None-Match", Png.Header("ETag")}}).Status,
              304);

    const std::string Edit = R"({"component":"RevenueChart","property":"Width","value":500})";
    auto Post = [&](pv::TWebFields H, const std::string& Body = R"({"component":"RevenueChart","property":"Width","value":500})") {
        return C.Request("POST", "/api/property", H, Body);
    };
    const pv::TWebField Json{"Content-Type", "application/json"};
    const pv::TWebField Tok{"X-Plotvane-Token", Token};
    // A write must carry the token in its header, not in the address.
    EXPECT_EQ(C.Request("POST", "/api/property?token=" + Token, {Json}, Edit).Status, 403);
    EXPECT_EQ(Post({Json, Tok, {"Origin", "http://evil.example"}}).Status, 403);
    EXPECT_EQ(Post({Json, Tok, {"Sec-Fetch-Site", "cross-site"}}).Status, 403);
    EXPECT_EQ(Post({{"Content-Type", "text/plain"}, Tok}).Status, 415);
    EXPECT_EQ(Post({Json, Tok}, "{not json").Status, 400);
    EXPECT_FALSE(S.Designer().CanUndo());
    pvtest::THttpReply Done = Post({Json, Tok, {"Origin", "http://127.0.0.1:" + std::to_string(Port)},
                                    {"Sec-Fetch-Site", "same-origin"}});
    EXPECT_EQ(Done.Status, 200) << Done.Body;
    EXPECT_TRUE(json::parse(Done.Body)["state"]["canUndo"]);
    pvtest::THttpReply Refused = Post({Json, Tok}, R"({"component":"RevenueChart","property":"JPEGQuality","value":150})");
    EXPECT_EQ(Refused.Status, 422);
    EXPECT_NE(json::parse(Refused.Body)["error"].get<std::string>().find("out of range 1..100"), std::string::npos);
    EXPECT_TRUE(json::parse(Refused.Body).contains("state"));
    EXPECT_NE(Get("/api/preview?chart=RevenueChart&token=" + Token, {{"If-None-Match", Png.Header("ETag")}}).Status,
              304);
    EXPECT_EQ(C.Request("POST", "/api/undo", {Json, Tok}, "{}").Status, 200);
    EXPECT_EQ(Get("/api/preview?chart=RevenueChart&token=" + Token, {{"If-None-Match", Png.Header("ETag")}}).Status,
              304);
    S.Stop();
}

// A client value in a message: the value of a property in the state.
json StateValue(const json& State, const std::string& Component, const std::string& Path) {
    for (const json& C : State["components"])
        if (C["name"] == Component)
            for (const json& P : C["properties"])
                if (P["path"] == Path) return P["value"];
    ADD_FAILURE() << "no " << Component << "." << Path << " in the state";
    return {};
}

TEST_F(DesignerTest, DeepOrHugeClientValuesAreRefusedBrieflyAndTheUnsavedEditsStay) {
    TDesignServer S(QuietServer());
    S.Start();
    pvtest::THttpConnection C(S.GetPort());
    const pv::TWebFields H{{"Content-Type", "application/json"}, {"X-Plotvane-Token", S.Token()}};
    auto Post = [&](const std::string& Body) { return C.Request("POST", "/api/property", H, Body); };
    auto Error = [](const pvtest::THttpReply& R) { return json::parse(R.Body)["error"].get<std::string>(); };
    ASSERT_EQ(Post(R"({"component":"RevenueChart","property":"Width","value":500})").Status, 200);

    // 100 000 levels of arrays as the value: refused before anything walks it.
    const std::string Deep = std::string(100000, '[') + std::string(100000, ']');
    pvtest::THttpReply R = Post(R"({"component":"RevenueChart","property":"Width","value":)" + Deep + "}");
    EXPECT_EQ(R.Status, 400);
    EXPECT_EQ(Error(R), "the JSON body nests deeper than 64 levels");
    EXPECT_EQ(StateValue(json::parse(R.Body)["state"], "RevenueChart", "Width"), 500);
    // Brackets inside a text do not nest; 63 levels under the body's object
    // are within the limit and reach the property, whose message quotes a
    // short start of the value and says how big it was.
    R = Post(R"({"component":"RevenueChart","property":"Width","value":[")" + std::string(200, '[') + R"("]})");
    EXPECT_EQ(R.Status, 400);
    EXPECT_EQ(Error(R), "Width takes a whole number, not [\"" + std::string(62, '[') + "... (an array of 1 item)");
    R = Post(R"({"component":"RevenueChart","property":"Width","value":)" + std::string(63, '[') +
             std::string(63, ']') + "}");
    EXPECT_EQ(R.Status, 400);
    EXPECT_EQ(Error(R), "Width takes a whole number, not " + std::string(63, '[') + std::string(1, ']') +
                            "... (an array of 1 item)");
    // A long name, a long text and a broken body are quoted in part, with their length.
    R = Post(R"({"component":")" + std::string(100000, 'x') + R"(","property":"Width","value":1})");
    EXPECT_EQ(R.Status, 404);
    EXPECT_EQ(Error(R), "the form has no component named '" + std::string(64, 'x') + "...' (100000 bytes)");
    R = Post(R"({"component":"RevenueChart","property":"Width","value":")" + std::string(100000, '7') + "x\"}");
    EXPECT_EQ(R.Status, 422);
    EXPECT_LT(Error(R).size(), 400u) << Error(R).substr(0, 400);
    // A field name the data set lacks comes back in the data set's own message.
    R = Post(R"({"component":"RevenueChart","property":"YValueSource","value":")" + std::string(100000, 'z') + "\"}");
    EXPECT_EQ(R.Status, 422);
    EXPECT_EQ(Error(R), "RevenueChart.YValueSource = '" + std::string(40, 'z') + "'...: SalesQuery: field \"" +
                            std::string(64, 'z') + "... (100000 bytes)\" not found");
    R = Post(R"({"component":"RevenueChart","property":"Width","value":")" + std::string(100000, 'y'));
    EXPECT_EQ(R.Status, 400);
    EXPECT_EQ(Error(R).rfind("the request body is not JSON: ", 0), 0u) << Error(R);
    EXPECT_TRUE(Error(R).ends_with("; last read: '\"" + std::string(63, 'y') + "...' (100001 bytes)")) << Error(R);

    // The same value given to the editing layer directly, built without a parser.
    json Nested = json::array();
    for (int I = 0; I < 100000; ++I) Nested = json::array({std::move(Nested)});
    EXPECT_DESIGN_ERROR(S.Designer().SetProperty("RevenueChart", "Width", Nested), 400,
                        "Width takes a whole number, not " + std::string(64, '[') + "... (an array of 1 item)");

    // The designer still serves, and the edit made before is there, unsaved.
    R = C.Request("GET", "/api/state", {{"X-Plotvane-Token", S.Token()}});
    ASSERT_EQ(R.Status, 200);
    const json State = json::parse(R.Body);
    EXPECT_EQ(StateValue(State, "RevenueChart", "Width"), 500);
    EXPECT_TRUE(State["modified"]);
    EXPECT_TRUE(State["canUndo"]);
    EXPECT_EQ(ReadText(Form()), Sample);
    R = C.Request("GET", "/api/preview?chart=" + std::string(5000, 'c'), {{"X-Plotvane-Token", S.Token()}});
    EXPECT_EQ(R.Status, 404);
    EXPECT_EQ(Error(R), "the form has no chart named '" + std::string(64, 'c') + "...' (5000 bytes)");
    S.Stop();
}

TEST_F(DesignerTest, AHostNameOfAnotherSiteIsRefused) {
    TDesignServerOptions O;
    O.FormFile = Form();
    O.Token = "fixed-token";
    TDesignServer S(O);
    S.Start();
    auto Ask = [&](const std::string& Host) {
        pv::TWebRequest Q("GET", "/api/state", {{"token", "fixed-token"}}, {{"Host", Host}});
        pv::TWebResponse R;
        S.Handle(Q, R);
        return R.GetSentMessage()->StatusCode;
    };
    const std::string Port = std::to_string(S.GetPort());
    EXPECT_EQ(Ask("127.0.0.1:" + Port), 200);
    EXPECT_EQ(Ask("localhost:" + Port), 200);
    EXPECT_EQ(Ask("attacker.example:" + Port), 403);
    // A text that is not UTF-8 does not break the state.
    S.Designer().SetPropertyText("RevenueChart", "AxisLeftTitleCaption", "'caf\xE9'");
    EXPECT_EQ(Ask("127.0.0.1:" + Port), 200);
    EXPECT_EQ(Ask("127.0.0.1:1"), 403);
    EXPECT_EQ(Ask("localhost"), 200);
    EXPECT_EQ(Ask(""), 403);
    S.Stop();
    EXPECT_THROW(TDesignServer({Form(), {}, "bad token!"}), EDesignError);
}

}  // namespace
}  // namespace plotvane
