// The designer's JSON: the form as the page sees it (the state of every
// named component with its published properties, the records of a data set)
// and the values the page sends, turned into form syntax for the reader.

#include "designer/Designer.h"

#include <cstdint>
#include <optional>

#include "component/Norq_PlotvaneSeries.h"
#include "platform/chart/ChartLocale.h"
#include "platform/db/DataSet.h"
#include "platform/db/DataSource.h"
#include "platform/db/Field.h"
#include "platform/rtl/FormParser.h"
#include "platform/vcl/Color.h"

namespace plotvane {

using nlohmann::json;
using Norq_Plotvane::TNorq_DBPlotvane;

namespace {

bool StartsWith(std::string_view S, std::string_view Prefix) { return S.substr(0, Prefix.size()) == Prefix; }

std::string_view KindName(pv::TTypeKind Kind) {
    switch (Kind) {
        case pv::TTypeKind::tkInteger: return "integer";
        case pv::TTypeKind::tkFloat: return "number";
        case pv::TTypeKind::tkEnumeration: return "enum";
        case pv::TTypeKind::tkBoolean: return "boolean";
        case pv::TTypeKind::tkColor: return "color";
        case pv::TTypeKind::tkString: return "string";
        case pv::TTypeKind::tkSet: return "set";
        case pv::TTypeKind::tkClass: return "object";
        case pv::TTypeKind::tkComponent: return "component";
        case pv::TTypeKind::tkMethod: return "method";
        // A kind added after this file: edited as its form text.
        default: return "text";
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Inspector groups

const std::vector<std::string_view>& ChartPropertyGroups() {
    static const std::vector<std::string_view> Groups{"title",  "chart",  "axes",    "legend", "background",
                                                      "3D",     "series", "marks",   "pointer", "data"};
    return Groups;
}

const std::vector<std::string_view>& PropertyGroups(std::string_view ClassName) {
    static const std::vector<std::string_view> Series{"data", "series", "marks"};
    static const std::vector<std::string_view> Other{"properties"};
    if (ClassName == "TNorq_DBPlotvane") return ChartPropertyGroups();
    if (ClassName == "TNorq_DBPlotvaneSeries") return Series;
    return Other;
}

std::string_view PropertyGroup(std::string_view ClassName, std::string_view Property) {
    // A field name is a text property named ...Source; the data it reads
    // comes with it.
    const bool Data = Property == "DataSource" || Property == "Chart" || Property == "GroupSource" ||
                      Property == "XLabelsSource" || Property == "XValueSource" || Property == "YValueSource";
    if (ClassName == "TNorq_DBPlotvaneSeries") {
        if (Data) return "data";
        if (StartsWith(Property, "Marks")) return "marks";
        return "series";
    }
    if (ClassName != "TNorq_DBPlotvane") return "properties";
    // The chart's properties are grouped by what they style; the names say
    // it, so the grouping follows the names.
    if (StartsWith(Property, "Title")) return "title";
    if (StartsWith(Property, "Axis") || StartsWith(Property, "ValueAxis") || StartsWith(Property, "ReferenceLine"))
        return "axes";
    if (StartsWith(Property, "Legend")) return "legend";
    if (Property == "Color" || StartsWith(Property, "Gradient")) return "background";
    if (StartsWith(Property, "View3D")) return "3D";
    if (StartsWith(Property, "Marks")) return "marks";
    if (StartsWith(Property, "Pointer")) return "pointer";
    if (StartsWith(Property, "Series") || Property == "ValueFormat" || Property == "Stacking") return "series";
    if (Data) return "data";
    return "chart";
}

// ---------------------------------------------------------------------------
// Values from the page

std::string TDesigner::ToFormText(const TResolved& R, const json& Value) {
    const std::string Name(R.Prop->Name);
    auto Expect = [&](bool Ok, const char* What) {
        if (!Ok) throw EDesignError(400, Name + " takes " + What + ", not " + DescribeClientJson(Value));
    };
    if (R.IsStrings) {
        Expect(Value.is_array(), "a list of lines");
        std::string S = "(";
        bool First = true;
        for (const json& Line : Value) {
            Expect(Line.is_string(), "a list of lines");
            S += (First ? "" : " ") + pv::QuoteFormString(Line.get<std::string>());
            First = false;
        }
        return S + ")";
    }
    switch (R.Prop->Kind) {
        case pv::TTypeKind::tkString:
            Expect(Value.is_string(), "a text");
            return pv::QuoteFormString(Value.get<std::string>());
        case pv::TTypeKind::tkInteger:
            if (Value.is_number_integer()) return std::to_string(Value.get<std::int64_t>());
            // Typed text goes to the reader as it is, which names what is wrong.
            Expect(Value.is_string(), "a whole number");
            return Value.get<std::string>().empty() ? std::string("''") : Value.get<std::string>();
        case pv::TTypeKind::tkFloat:
            if (Value.is_number()) {
                // JSON numbers are finite; written as the form writes them.
                return pv::FloatToFormText(Value.get<double>());
            }
            Expect(Value.is_string(), "a number");
            return Value.get<std::string>().empty() ? std::string("''") : Value.get<std::string>();
        case pv::TTypeKind::tkBoolean:
            Expect(Value.is_boolean(), "true or false");
            return Value.get<bool>() ? "True" : "False";
        case pv::TTypeKind::tkColor: {
            Expect(Value.is_string(), "a colour name, #rrggbb, #rgb or $00BBGGRR");
            // Any spelling of a colour goes to the form as the form writes
            // it; other text goes to the reader as it is, which names what
            // is wrong.
            const std::string S = Value.get<std::string>();
            if (std::optional<pv::TColor> C = pv::StringToColor(S)) return pv::ColorToString(*C);
            return S.empty() ? std::string("''") : S;
        }
        case pv::TTypeKind::tkEnumeration:
        case pv::TTypeKind::tkMethod:
            Expect(Value.is_string(), "a name");
            return Value.get<std::string>().empty() ? std::string("nil") : Value.get<std::string>();
        case pv::TTypeKind::tkComponent: {
            Expect(Value.is_string() || Value.is_null(), "a component name");
            const std::string S = Value.is_null() ? std::string() : Value.get<std::string>();
            return S.empty() ? std::string("nil") : S;
        }
        case pv::TTypeKind::tkSet: {
            Expect(Value.is_array(), "a list of names");
            std::string S = "[";
            bool First = true;
            for (const json& Item : Value) {
                Expect(Item.is_string(), "a list of names");
                S += (First ? "" : ", ") + Item.get<std::string>();
                First = false;
            }
            return S + "]";
        }
        case pv::TTypeKind::tkClass: break;
        default:
            // A kind added after this file takes its form text ("1.5"), as
            // the reader reads it.
            Expect(Value.is_string() || Value.is_number(), "its value as a form holds it");
            if (Value.is_number()) return Value.dump();
            return Value.get<std::string>().empty() ? std::string("''") : Value.get<std::string>();
    }
    throw EDesignError(400, Name + " cannot be set as a whole");
}

// ---------------------------------------------------------------------------
// State

void TDesigner::AppendProperties(json& Out, pv::TComponent& Owner, pv::TObject& Object, const pv::TClassInfo& Info,
                                 const std::string& Prefix, std::string_view Group, json& Lists) {
    const auto Components = NamedComponents();
    // The data set whose fields the ...Source texts of this component name.
    const pv::TDataSet* FieldsOf = nullptr;
    if (Prefix.empty())
        if (const pv::TPropInfo* P = pv::GetPropInfo(Info, "DataSource");
            P && P->Kind == pv::TTypeKind::tkComponent && P->Get) {
            pv::TPropValue V = P->Get(Object);
            auto* Source = std::holds_alternative<pv::TObject*>(V) ? dynamic_cast<pv::TDataSource*>(std::get<pv::TObject*>(V))
                                                                 : nullptr;
            FieldsOf = Source ? Source->GetDataSet() : nullptr;
        }
    for (const pv::TPropInfo* P : pv::GetPropList(Info)) {
        if (!P->Get) continue;
        const std::string Path = Prefix + std::string(P->Name);
        json E;
        E["name"] = std::string(P->Name);
        E["path"] = Path;
        E["kind"] = std::string(KindName(P->Kind));
        E["group"] = std::string(Prefix.empty() ? PropertyGroup(Owner.ClassName(), P->Name) : Group);
        if (P->EnumType) E["type"] = std::string(P->EnumType->TypeName);
        if (!P->TypeName.empty()) E["type"] = std::string(P->TypeName);
        pv::TPropValue V = P->Get(Object);
        if (P->Kind == pv::TTypeKind::tkClass) {
            pv::TObject* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
            if (!Sub) continue;
            if (auto* List = dynamic_cast<pv::TStrings*>(Sub)) {
                E["kind"] = "strings";
                E["path"] = Path + ".Strings";
                json Lines = json::array();
                for (int I = 0; I < List->GetCount(); ++I) Lines.push_back(List->Get(I));
                E["value"] = Lines;
                TResolved R{&Object, P, true};
                E["text"] = ValueText(Owner, R);
            } else if (const pv::TClassInfo* SubInfo = Sub->ClassInfo()) {
                json Subs = json::array();
                AppendProperties(Subs, Owner, *Sub, *SubInfo, Path + ".", E["group"].get<std::string>(), Lists);
                E["props"] = Subs;
            } else {
                continue;
            }
            Out.push_back(E);
            continue;
        }
        TResolved R{&Object, P, false};
        E["text"] = ValueText(Owner, R);
        switch (P->Kind) {
            case pv::TTypeKind::tkInteger:
                E["value"] = std::get<std::int64_t>(V);
                if (P->HasRange()) {
                    E["min"] = P->MinValue;
                    E["max"] = P->MaxValue;
                }
                break;
            case pv::TTypeKind::tkFloat: E["value"] = std::get<double>(V); break;
            case pv::TTypeKind::tkBoolean: E["value"] = std::get<bool>(V); break;
            case pv::TTypeKind::tkString: {
                const std::string& Text = std::get<std::string>(V);
                E["value"] = Text;
                const std::string_view N = P->Name;
                if (FieldsOf && N.size() > 6 && N.ends_with("Source") && !FieldsOf->GetName().empty() &&
                    FieldsOf->GetFieldCount() > 0) {
                    // A field name: the page offers the data set's fields.
                    const std::string Key = "fields:" + FieldsOf->GetName();
                    if (!Lists.contains(Key)) {
                        json Names = json::array();
                        for (int I = 0; I < FieldsOf->GetFieldCount(); ++I)
                            Names.push_back(FieldsOf->GetField(I)->GetFieldName());
                        Lists[Key] = Names;
                    }
                    E["list"] = Key;
                } else if (N == "Locale") {
                    if (!Lists.contains("locales")) Lists["locales"] = pv::ChartLocaleNames();
                    E["list"] = "locales";
                } else if (N.ends_with("Palette")) {
                    // The colours of a list of colours, as the page shows them.
                    json Swatches = json::array();
                    for (std::size_t At = 0; At < Text.size();) {
                        const std::size_t Start = Text.find_first_not_of(", \t", At);
                        if (Start == std::string::npos) break;
                        std::size_t End = Text.find_first_of(", \t", Start);
                        if (End == std::string::npos) End = Text.size();
                        if (std::optional<pv::TColor> C = pv::StringToColor(Text.substr(Start, End - Start)))
                            Swatches.push_back(pv::ColorToHtml(*C));
                        At = End;
                    }
                    E["swatches"] = Swatches;
                }
                break;
            }
            case pv::TTypeKind::tkColor:
                E["value"] = E["text"];
                E["rgb"] = pv::ColorToHtml(static_cast<pv::TColor>(std::get<std::int64_t>(V)));
                break;
            case pv::TTypeKind::tkEnumeration:
            case pv::TTypeKind::tkSet: {
                json Names = json::array();
                // A further series is never a pie (its setter refuses one,
                // the pie being drawn alone), so its chooser leaves it out.
                const bool NoPie = P->Name == "SeriesType" && dynamic_cast<Norq_Plotvane::TNorq_DBPlotvaneSeries*>(&Object);
                if (P->EnumType)
                    for (std::string_view N : P->EnumType->Names)
                        if (!(NoPie && N == "stPie")) Names.push_back(std::string(N));
                E["choices"] = Names;
                if (P->Kind == pv::TTypeKind::tkEnumeration) {
                    E["value"] = E["text"];
                } else {
                    json Set = json::array();
                    auto Bits = static_cast<std::uint64_t>(std::get<std::int64_t>(V));
                    for (std::size_t I = 0; I < Names.size(); ++I)
                        if (Bits & (std::uint64_t{1} << I)) Set.push_back(Names[I]);
                    E["value"] = Set;
                }
                break;
            }
            case pv::TTypeKind::tkComponent: {
                const std::string T = E["text"];
                E["value"] = T == "nil" ? std::string() : T;
                json Choices = json::array();
                for (pv::TComponent* C : Components)
                    if (C != &Owner && C->ClassInfo() && C->ClassInfo()->InheritsFrom(P->TypeName))
                        Choices.push_back(C->GetName());
                E["choices"] = Choices;
                break;
            }
            case pv::TTypeKind::tkMethod: {
                const std::string T = E["text"];
                E["value"] = T == "nil" ? std::string() : T;
                break;
            }
            case pv::TTypeKind::tkClass: break;
            default: E["value"] = E["text"]; break;
        }
        Out.push_back(E);
    }
}

namespace {

// The name of the data set behind a data source, or "".
std::string DataSetName(const pv::TDataSource* Source) {
    const pv::TDataSet* DataSet = Source ? Source->GetDataSet() : nullptr;
    return DataSet ? DataSet->GetName() : std::string();
}

}  // namespace

json TDesigner::ComponentState(const std::string& Name) {
    json Lists = json::object();
    return ComponentState(Name, Lists);
}

json TDesigner::ComponentState(const std::string& Name, json& Lists) {
    pv::TComponent& C = FindNamed(Name);
    json Entry;
    Entry["name"] = C.GetName();
    Entry["class"] = std::string(C.ClassName());
    Entry["chart"] = dynamic_cast<TNorq_DBPlotvane*>(&C) != nullptr;
    json Groups = json::array();
    for (std::string_view G : PropertyGroups(C.ClassName())) Groups.push_back(std::string(G));
    Entry["groups"] = Groups;
    if (auto* DataSet = dynamic_cast<pv::TDataSet*>(&C)) {
        Entry["dataSet"] = true;
        Entry["active"] = DataSet->GetActive();
        Entry["canModify"] = DataSet->GetCanModify();
    } else {
        Entry["dataSet"] = false;
    }
    if (auto* Chart = dynamic_cast<TNorq_DBPlotvane*>(&C)) {
        // The data set whose records the chart shows, for the record grid,
        // and its further series in the order they are drawn.
        Entry["chartDataSet"] = DataSetName(Chart->GetDataSource());
        json Series = json::array();
        for (pv::TComponent* Other : NamedComponents())
            if (auto* S = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvaneSeries*>(Other); S && S->GetChart() == Chart)
                Series.push_back(S->GetName());
        Entry["series"] = Series;
    }
    if (auto* S = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvaneSeries*>(&C)) {
        // A series is shown on its chart, with its own data set's records.
        Entry["seriesOf"] = S->GetChart() ? S->GetChart()->GetName() : std::string();
        Entry["chartDataSet"] = DataSetName(S->GetDataSource());
        Entry["removable"] = true;
    }
    json Props = json::array();
    if (const pv::TClassInfo* Info = C.ClassInfo()) AppendProperties(Props, C, C, *Info, "", "", Lists);
    Entry["properties"] = Props;
    return Entry;
}

json TDesigner::State() {
    json S;
    S["form"] = FFormFile;
    S["modified"] = Modified();
    S["canUndo"] = CanUndo();
    S["canRedo"] = CanRedo();
    S["version"] = FVersion;
    json Names = json::array();
    for (std::string_view N : pv::ColorNameList()) Names.push_back(std::string(N));
    S["colorNames"] = Names;
    json Css = json::array();
    for (std::string_view N : pv::CssColorNameList()) Css.push_back(std::string(N));
    S["cssColorNames"] = Css;
    json Groups = json::array();
    for (std::string_view G : ChartPropertyGroups()) Groups.push_back(std::string(G));
    S["groups"] = Groups;
    json Components = json::array();
    json Lists = json::object();
    for (pv::TComponent* C : NamedComponents()) Components.push_back(ComponentState(C->GetName(), Lists));
    S["components"] = Components;
    S["lists"] = Lists;
    return S;
}

// ---------------------------------------------------------------------------
// Data

json TDesigner::Records(const std::string& Name, int Limit) {
    pv::TDataSet& D = FindDataSet(Name);
    json R;
    R["dataSet"] = D.GetName();
    R["active"] = D.GetActive();
    R["canModify"] = D.GetCanModify();
    json Fields = json::array();
    for (int I = 0; I < D.GetFieldCount(); ++I) {
        pv::TField* F = D.GetField(I);
        Fields.push_back({{"name", F->GetFieldName()}, {"type", std::string(pv::FieldTypeName(F->GetDataType()))}});
    }
    R["fields"] = Fields;
    json Rows = json::array();
    if (D.GetActive()) {
        D.ForEachRecord([&](int RecNo) {
            if (RecNo > Limit) return;
            json Row = json::array();
            for (int I = 0; I < D.GetFieldCount(); ++I) {
                pv::TField* F = D.GetField(I);
                Row.push_back(F->IsNull() ? json(nullptr) : json(F->GetAsString()));
            }
            Rows.push_back(Row);
        });
    }
    R["records"] = Rows;
    R["recordCount"] = D.GetRecordCount();
    return R;
}

}  // namespace plotvane
