#pragma once
// TDesigner: one form open for design. The form is read with its module in
// the Designing state, so stored properties render as they load, every
// refreshing change renders the preview at once and OnAfterDraw is never
// called. Every edit goes through the published-property tables and the
// form reader's own setter path (SetPropertyFromString), exactly as a stored
// form sets properties, so a refused value brings the component's own error
// back and the component keeps what it had. Edits can be undone and redone;
// saving goes through the form writer into the file that was opened.
//
// A TDesigner is not thread-safe; its HTTP front (TDesignServer) serializes
// every call.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "component/Norq_Plotvane.h"
#include "platform/db/DataSet.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/TypInfo.h"
#include "platform/vcl/Image.h"

namespace plotvane {

// A designer request that cannot be carried out. Status is the HTTP status
// the page gets with the message: 400 for a malformed request, 404 for an
// unknown component, data set or field, 409 for a save that needs the
// user's word first, 422 for a value the component refused. Reason tells
// the page which question a 409 asks ("changed", "inactive"; see Save).
class EDesignError : public pv::Exception {
public:
    EDesignError(int Status, const std::string& Message, std::string Reason = {})
        : pv::Exception(Message), FStatus(Status), FReason(std::move(Reason)) {}
    int Status() const { return FStatus; }
    const std::string& Reason() const { return FReason; }

private:
    int FStatus;
    std::string FReason;
};

// A text from a client (a name, a path, a header) as an error message
// shows it: in single quotes, whole when it has at most 64 bytes, else its
// first 64 bytes (whole UTF-8 characters) and its length, as
// 'RevenueCh...' (100000 bytes). A message never echoes a megabyte.
std::string QuoteClientText(std::string_view Text);
// A JSON value from a client as an error message shows it: its JSON text
// when that has at most 64 bytes, else the first 64 bytes of it and what it
// is: [[[[...  (an array of 1 item). Works on a value of any depth and
// size; only the part shown is ever written out.
std::string DescribeClientJson(const nlohmann::json& Value);

// The inspector group a published property of TNorq_DBPlotvane belongs to:
// "title", "chart", "axes", "legend", "background", "3D", "series", "marks",
// "pointer" or "data"; one of TNorq_DBPlotvaneSeries: "data", "series" or
// "marks". Other classes' properties are in "properties".
std::string_view PropertyGroup(std::string_view ClassName, std::string_view Property);
// The inspector groups of TNorq_DBPlotvane in the order the page shows them.
const std::vector<std::string_view>& ChartPropertyGroups();
// The inspector groups of a class in the order the page shows them.
const std::vector<std::string_view>& PropertyGroups(std::string_view ClassName);

class TDesigner {
public:
    // Reads FormFile in the Designing state. The form's read errors pass
    // (pv::EFormError naming the file, line and column).
    explicit TDesigner(std::string FormFile);
    ~TDesigner();
    TDesigner(const TDesigner&) = delete;
    TDesigner& operator=(const TDesigner&) = delete;

    const std::string& FormFile() const { return FFormFile; }
    pv::TComponent& Module() { return *FModule; }

    // Everything the page shows: the form file, whether there are unsaved
    // changes, undo and redo, the version, the colour names, the lists a
    // text may be picked from (field names of each data set, locales) and
    // every named component with its class, its inspector groups, the
    // series of a chart and the chart of a series, and its published
    // properties (name, path, kind, group, value, value text in form
    // syntax, choices, ranges, the list to pick from), in the property
    // order. A property of a kind the designer does not know is of kind
    // "text": its value is its form text, and it is set by that text.
    nlohmann::json State();
    // One component's entry of State.
    nlohmann::json ComponentState(const std::string& Name);
    // The same, adding the lists its properties name to Lists.
    nlohmann::json ComponentState(const std::string& Name, nlohmann::json& Lists);

    // Sets the property at Path ("TitleColor", "TitleFont.Size",
    // "TitleText.Strings") of the named component. Value is JSON fitting the
    // property's kind: a string for text, a number for integers, true/false,
    // a name for enumerations, colours ("clRed", "$00FF0000" or "#0000ff")
    // and component references ("" or "nil" for none), an array of names
    // for sets, an array of lines for string lists. A refused value raises
    // EDesignError(422) with the component's message; the property keeps its
    // previous value. An unchanged value records nothing.
    //
    // A query closes when its database, SQL or parameters change: every data
    // set that was open before an edit (or an undo or redo) is opened again
    // after it, except the one whose Active the edit sets. When one cannot
    // open (SQL that does not run, a missing database file or table), the
    // edit is refused alike, EDesignError(422) "SalesQuery was open and
    // cannot open again: <cause>", and the old value goes back with the data
    // set open as before.
    void SetProperty(const std::string& Component, const std::string& Path, const nlohmann::json& Value);
    // The same with the value in form syntax, as a form file holds it.
    void SetPropertyText(const std::string& Component, const std::string& Path, const std::string& Text);

    // Adds a further series (TNorq_DBPlotvaneSeries) to the named chart,
    // owned by the form's module and named Series1, Series2, ... (the first
    // name no component has). It is drawn on the chart and reads the
    // chart's data source and X fields; its Y field is for the user to
    // pick. Returns its name. An undoable change; a chart that is not there
    // raises EDesignError(404).
    std::string AddSeries(const std::string& Chart);
    // Removes a further series: it leaves its chart, which redraws, and
    // nothing refers to it afterwards. An undoable change: undoing it puts
    // the series back with its properties at its place in the form.
    // Anything else raises EDesignError(404), or 422 for a component that
    // is not a series.
    void RemoveSeries(const std::string& Series);

    bool CanUndo() const { return FDone > 0; }
    bool CanRedo() const { return FDone < FHistory.size(); }
    // Undoes or redoes the last change (of a property, or a series added or
    // removed); false when there is none.
    bool Undo();
    bool Redo();
    // Whether the form differs from what was last read or saved.
    bool Modified() const { return FDone != FSavedAt || FSavedAtLost; }
    // Goes up with every change of what the page shows (property edits, data
    // changes, saves), so the page can tell that it must reload.
    std::uint64_t Version() const { return FVersion; }

    // The records of a data set (at most Limit): its field names and types,
    // its state, whether it can be edited, and every record as texts (null
    // fields as null). An unknown name raises EDesignError(404).
    nlohmann::json Records(const std::string& DataSet, int Limit = 1000);
    // Opens or closes a data set through its Active property (an undoable
    // property change, as in a form).
    void SetDataSetActive(const std::string& DataSet, bool Active);
    // Edits record RecNo (from 1) of an open, editable data set: each field
    // in Values (name -> text, or null) is set, then the record is posted;
    // the charts bound to it follow through their data links. A refusal
    // raises EDesignError(422) with the data set's message and cancels the
    // edit, so the record stays as it was.
    void PostRecord(const std::string& DataSet, int RecNo, const nlohmann::json& Values);

    // The PNG of a chart's preview picture as it stands, drawn Scale times
    // larger (1..4, for screens of that pixel density; the preview image
    // itself stays at 1). An unknown chart raises EDesignError(404).
    const std::string& PreviewPng(const std::string& Chart, double Scale = 1);

    // The form as Save writes it.
    std::string FormText();
    // Whether the form file's bytes differ from what was last read or saved.
    bool ChangedOnDisk() const;
    // Writes the form through the form writer into the opened file: the
    // current file is kept as FORM.bak, the new text is written to a
    // temporary file and renamed over the form, so the form is always whole.
    // Nothing is written, and EDesignError(409) asks, when the file changed
    // on disk since it was read or saved and Overwrite is false (reason
    // "changed"), or when a data set that was open when the form was read or
    // saved is closed now and Inactive is false (reason "inactive"): saved
    // so, it stays closed whenever the form is read, and its charts have no
    // points.
    void Save(bool Overwrite, bool Inactive = false);

private:
    // The component a change is about. Every change of one component shares
    // one target, so a series removed and put back by undo is the target of
    // its earlier changes again.
    struct TTarget {
        pv::TComponentPtr<pv::TComponent> Component;
    };
    // What puts a removed series back: its name, its place among the
    // module's components and its stored properties (path, form text) in
    // the property order.
    struct TComponentImage {
        std::string Name;
        int Index = -1;
        std::vector<std::pair<std::string, std::string>> Properties;
    };
    enum class TEditKind : std::uint8_t { ekProperty, ekAddSeries, ekRemoveSeries };
    struct TEdit {
        TEditKind Kind = TEditKind::ekProperty;
        std::shared_ptr<TTarget> Target;
        // A property change.
        std::string Path;
        std::string Before;
        std::string After;
        // A series added or removed.
        TComponentImage Image;
    };
    // A chart and the image the designer lends it while its own
    // PreviewImage is nil, so that DrawPreviewImage has a picture to fill.
    struct TChartPreview {
        pv::TComponentPtr<Norq_Plotvane::TNorq_DBPlotvane> Chart;
        pv::TUniqueComponent<pv::TImage> Image;
        std::uint64_t EncodedAt = 0;
        double EncodedScale = 1;
        std::string Png;
    };
    // A property at a dotted path: the object it belongs to and its entry.
    struct TResolved {
        pv::TObject* Object = nullptr;
        const pv::TPropInfo* Prop = nullptr;
        bool IsStrings = false;  // Path ends in ".Strings" of a string list
    };

    pv::TComponent& FindNamed(const std::string& Name);
    pv::TDataSet& FindDataSet(const std::string& Name);
    TResolved Resolve(pv::TComponent& Component, const std::string& Path);
    // The value of a property in form syntax, as the form writer stores it.
    std::string ValueText(pv::TComponent& Component, const TResolved& R);
    std::string ToFormText(const TResolved& R, const nlohmann::json& Value);
    // Applies Text through the reader's setter path and opens again the data
    // sets it closed; on failure the old value is put back when the setter
    // had already taken the new one, and the data sets open as before.
    void Apply(pv::TComponent& Component, const std::string& Path, const TResolved& R, const std::string& Before,
               const std::string& Text);
    void AppendProperties(nlohmann::json& Out, pv::TComponent& Owner, pv::TObject& Object, const pv::TClassInfo& Info,
                          const std::string& Prefix, std::string_view Group, nlohmann::json& Lists);
    // The shared target of the changes of Component.
    std::shared_ptr<TTarget> TargetOf(pv::TComponent& Component);
    void Record(TEdit Edit);
    // The stored properties of Component, by path, as form text.
    TComponentImage ImageOf(pv::TComponent& Component);
    // Creates a series from Image, owned by the module; a property that
    // cannot be set raises EDesignError(422) and leaves no series behind.
    pv::TComponent& CreateSeries(const TComponentImage& Image);
    void FreeSeries(pv::TComponent& Series);
    // Carries out (Forward) or takes back an edit.
    void Perform(TEdit& Edit, bool Forward);
    // Lends every chart whose PreviewImage is nil the designer's image, and
    // renders it.
    void LendPreviewImages();
    // The designer's image the chart holds, or nullptr when it holds its own.
    pv::TImage* LentImage(const pv::TComponent& Chart) const;
    std::vector<pv::TComponent*> NamedComponents();
    void Changed() { ++FVersion; }
    static std::string ReadFileBytes(const std::string& FileName);
    // The question Save asks about the data sets of FOpenAtSave that are
    // closed now; empty when there are none.
    std::string ClosedSinceSaved();

    std::string FFormFile;
    pv::TUniqueComponent<pv::TComponent> FModule;
    std::vector<std::unique_ptr<TChartPreview>> FPreviews;
    std::vector<TEdit> FHistory;
    std::size_t FDone = 0;
    std::size_t FSavedAt = 0;
    // The edit the saved form matched was dropped from the history (a new
    // edit after undoing past it): no undo position matches the file now.
    bool FSavedAtLost = false;
    std::uint64_t FVersion = 1;
    std::string FDiskText;
    // The data sets open when the form was read or last saved.
    std::vector<pv::TComponentPtr<pv::TDataSet>> FOpenAtSave;
    bool FSavedOnce = false;
};

}  // namespace plotvane
