#include "designer/Designer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <span>
#include <fstream>
#include <sstream>
#include <utility>

#include "component/Norq_PlotvaneSeries.h"
#include "host/DataSets.h"
#include "host/FormClasses.h"
#include "platform/db/DataSet.h"
#include "platform/db/DataSource.h"
#include "platform/db/Field.h"
#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/FormParser.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/FormWriter.h"
#include "platform/rtl/Strings.h"
#include "platform/vcl/Bitmap.h"

namespace plotvane {

using nlohmann::json;
using Norq_Plotvane::TNorq_DBPlotvane;

namespace {

constexpr std::size_t MaxShownBytes = 64;

// The length of Text cut to at most Max bytes without splitting a UTF-8
// character.
std::size_t CutAtCharacter(std::string_view Text, std::size_t Max) {
    if (Text.size() <= Max) return Text.size();
    std::size_t Cut = Max;
    while (Cut > 0 && (static_cast<unsigned char>(Text[Cut]) & 0xC0) == 0x80) --Cut;
    return Cut;
}

std::string Counted(std::size_t N, const char* One, const char* Many) {
    return std::to_string(N) + " " + (N == 1 ? One : Many);
}

// Appends the JSON text of Value to Out, stopping once Out holds more than
// Budget bytes: a value nested 100 000 deep costs a few dozen frames, as
// every level writes a bracket before it goes down.
void AppendJsonStart(const json& Value, std::string& Out, std::size_t Budget) {
    auto Quoted = [&](const std::string& S) {
        Out += json(S.substr(0, Budget + 1)).dump(-1, ' ', false, json::error_handler_t::replace);
    };
    if (Out.size() > Budget) return;
    if (Value.is_array() || Value.is_object()) {
        Out += Value.is_array() ? '[' : '{';
        bool First = true;
        for (auto It = Value.begin(); It != Value.end() && Out.size() <= Budget; ++It) {
            if (!First) Out += ',';
            First = false;
            if (Value.is_object()) {
                Quoted(It.key());
                Out += ':';
            }
            AppendJsonStart(*It, Out, Budget);
        }
        Out += Value.is_array() ? ']' : '}';
    } else if (Value.is_string()) {
        Quoted(Value.get_ref<const std::string&>());
    } else {
        Out += Value.dump(-1, ' ', false, json::error_handler_t::replace);
    }
}

// Message with every copy of a long client text Echo in it cut to its
// start and length.
std::string ShortenEcho(std::string Message, const std::string& Echo) {
    if (Echo.size() <= MaxShownBytes) return Message;
    const std::string Short = Echo.substr(0, CutAtCharacter(Echo, MaxShownBytes)) + "... (" +
                              std::to_string(Echo.size()) + " bytes)";
    for (std::size_t At = Message.find(Echo); At != std::string::npos; At = Message.find(Echo, At + Short.size()))
        Message.replace(At, Echo.size(), Short);
    return Message;
}

}  // namespace

std::string QuoteClientText(std::string_view Text) {
    if (Text.size() <= MaxShownBytes) return "'" + std::string(Text) + "'";
    return "'" + std::string(Text.substr(0, CutAtCharacter(Text, MaxShownBytes))) + "...' (" +
           std::to_string(Text.size()) + " bytes)";
}

std::string DescribeClientJson(const json& Value) {
    std::string S;
    AppendJsonStart(Value, S, MaxShownBytes);
    if (S.size() <= MaxShownBytes) return S;
    S.resize(CutAtCharacter(S, MaxShownBytes));
    std::string What;
    if (Value.is_array())
        What = "an array of " + Counted(Value.size(), "item", "items");
    else if (Value.is_object())
        What = "an object of " + Counted(Value.size(), "member", "members");
    else if (Value.is_string())
        What = "a text of " + Counted(Value.get_ref<const std::string&>().size(), "byte", "bytes");
    else
        What = std::string("a ") + Value.type_name();
    return S + "... (" + What + ")";
}

// ---------------------------------------------------------------------------
// Opening

std::string TDesigner::ReadFileBytes(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    if (!In) throw EDesignError(404, "cannot open the form file " + FileName + ": " + std::strerror(errno));
    std::ostringstream Buffer;
    Buffer << In.rdbuf();
    return Buffer.str();
}

TDesigner::TDesigner(std::string FormFile) : FFormFile(std::move(FormFile)) {
    FDiskText = ReadFileBytes(FFormFile);
    FModule = LoadForm(FFormFile, /*Designing=*/true);
    FOpenAtSave = OpenDataSets(*FModule);
    for (pv::TComponent* C : NamedComponents()) {
        auto* Chart = dynamic_cast<TNorq_DBPlotvane*>(C);
        if (!Chart) continue;
        auto P = std::make_unique<TChartPreview>();
        P->Chart = Chart;
        P->Image = pv::MakeUniqueComponent<pv::TImage>(nullptr);
        P->Image->SetDesigning(true);
        FPreviews.push_back(std::move(P));
    }
    LendPreviewImages();
}

TDesigner::~TDesigner() {
    // The module goes first: its charts let go of the lent images, which
    // then go with the previews.
    FModule.reset();
    FPreviews.clear();
}

void TDesigner::LendPreviewImages() {
    for (auto& P : FPreviews) {
        TNorq_DBPlotvane* Chart = P->Chart.get();
        if (!Chart || Chart->GetPreviewImage()) continue;
        try {
            Chart->SetPreviewImage(P->Image.get());
        } catch (...) {
            // The chart could not render; its error comes with the next
            // edit, and the preview shows what it had.
        }
    }
}

pv::TImage* TDesigner::LentImage(const pv::TComponent& Chart) const {
    for (const auto& P : FPreviews)
        if (P->Chart.get() == &Chart && P->Chart->GetPreviewImage() == P->Image.get()) return P->Image.get();
    return nullptr;
}

std::vector<pv::TComponent*> TDesigner::NamedComponents() {
    std::vector<pv::TComponent*> Out;
    const std::function<void(pv::TComponent&)> Walk = [&](pv::TComponent& C) {
        if (!C.GetName().empty()) Out.push_back(&C);
        for (int I = 0; I < C.GetComponentCount(); ++I)
            if (!C.GetComponent(I)->GetName().empty()) Walk(*C.GetComponent(I));
    };
    Walk(*FModule);
    return Out;
}

pv::TComponent& TDesigner::FindNamed(const std::string& Name) {
    for (pv::TComponent* C : NamedComponents())
        if (pv::SameText(C->GetName(), Name)) return *C;
    throw EDesignError(404, "the form has no component named " + QuoteClientText(Name));
}

pv::TDataSet& TDesigner::FindDataSet(const std::string& Name) {
    auto* DataSet = dynamic_cast<pv::TDataSet*>(&FindNamed(Name));
    if (!DataSet) throw EDesignError(404, QuoteClientText(Name) + " is no data set");
    return *DataSet;
}

// ---------------------------------------------------------------------------
// Properties

TDesigner::TResolved TDesigner::Resolve(pv::TComponent& Component, const std::string& Path) {
    TResolved R;
    pv::TObject* Object = &Component;
    std::string_view Rest = Path;
    while (true) {
        const std::size_t Dot = Rest.find('.');
        const std::string_view Part = Rest.substr(0, Dot);
        const pv::TClassInfo* Info = Object->ClassInfo();
        const pv::TPropInfo* Prop = Info ? pv::GetPropInfo(*Info, Part) : nullptr;
        if (!Prop) {
            // "Lines.Strings" names the lines of a string list.
            if (Part == "Strings" && Dot == std::string_view::npos && dynamic_cast<pv::TStrings*>(Object) && R.Prop) {
                R.IsStrings = true;
                return R;
            }
            throw EDesignError(404, Component.GetName() + " has no property " + QuoteClientText(Path));
        }
        R.Object = Object;
        R.Prop = Prop;
        if (Dot == std::string_view::npos) break;
        if (Prop->Kind != pv::TTypeKind::tkClass || !Prop->Get)
            throw EDesignError(404, Component.GetName() + " has no property " + QuoteClientText(Path));
        pv::TPropValue V = Prop->Get(*Object);
        pv::TObject* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
        if (!Sub) throw EDesignError(404, Component.GetName() + "." + std::string(Part) + " is not there");
        Object = Sub;
        Rest = Rest.substr(Dot + 1);
    }
    if (R.Prop->Kind == pv::TTypeKind::tkClass) {
        pv::TPropValue V = R.Prop->Get(*R.Object);
        auto* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
        if (dynamic_cast<pv::TStrings*>(Sub))
            throw EDesignError(400, Component.GetName() + "." + Path + " is a string list: set " + Path + ".Strings");
        throw EDesignError(400, Component.GetName() + "." + Path + " is an object: set one of its properties");
    }
    return R;
}

namespace {

// The dotted path of property R.Prop of R.Object, a sub-object (at any
// depth) of Component or Component itself.
std::string PathOfIn(pv::TObject& Object, const pv::TPropInfo* Prop, const pv::TObject* Target, const std::string& Prefix,
                     int Depth) {
    const pv::TClassInfo* Info = Object.ClassInfo();
    if (!Info || Depth > 8) return {};
    for (const pv::TPropInfo* P : pv::GetPropList(*Info)) {
        if (&Object == Target && P == Prop) return Prefix + std::string(P->Name);
        if (P->Kind != pv::TTypeKind::tkClass || !P->Get) continue;
        pv::TPropValue V = P->Get(Object);
        pv::TObject* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
        if (!Sub) continue;
        if (std::string Found = PathOfIn(*Sub, Prop, Target, Prefix + std::string(P->Name) + ".", Depth + 1);
            !Found.empty())
            return Found;
    }
    return {};
}

std::string PathOf(pv::TComponent& Component, const pv::TPropInfo* Prop, const pv::TObject* Target) {
    return PathOfIn(Component, Prop, Target, "", 0);
}

}  // namespace

std::string TDesigner::ValueText(pv::TComponent& Component, const TResolved& R) {
    pv::TPropValue V = R.Prop->Get(*R.Object);
    if (R.IsStrings) {
        const auto* List = dynamic_cast<const pv::TStrings*>(std::get<pv::TObject*>(V));
        std::string S = "(";
        for (int I = 0; List && I < List->GetCount(); ++I) S += (I ? " " : "") + pv::QuoteFormString(List->Get(I));
        return S + ")";
    }
    switch (R.Prop->Kind) {
        case pv::TTypeKind::tkInteger: return std::to_string(std::get<std::int64_t>(V));
        case pv::TTypeKind::tkFloat: return pv::FloatToFormText(std::get<double>(V));
        case pv::TTypeKind::tkEnumeration: {
            const std::int64_t Ord = std::get<std::int64_t>(V);
            if (R.Prop->EnumType && Ord >= 0 && Ord < static_cast<std::int64_t>(R.Prop->EnumType->Names.size()))
                return std::string(R.Prop->EnumType->Names[static_cast<std::size_t>(Ord)]);
            return std::to_string(Ord);
        }
        case pv::TTypeKind::tkBoolean: return std::get<bool>(V) ? "True" : "False";
        case pv::TTypeKind::tkColor: return pv::ColorToIdent(static_cast<std::uint32_t>(std::get<std::int64_t>(V)));
        case pv::TTypeKind::tkString: return pv::QuoteFormString(std::get<std::string>(V));
        case pv::TTypeKind::tkSet: {
            auto Bits = static_cast<std::uint64_t>(std::get<std::int64_t>(V));
            std::string S;
            const std::size_t Count = R.Prop->EnumType ? R.Prop->EnumType->Names.size() : 0;
            for (std::size_t I = 0; I < Count; ++I)
                if (Bits & (std::uint64_t{1} << I)) S += (S.empty() ? "" : ", ") + std::string(R.Prop->EnumType->Names[I]);
            return "[" + S + "]";
        }
        case pv::TTypeKind::tkComponent: {
            auto* Target = std::holds_alternative<pv::TObject*>(V) ? dynamic_cast<pv::TComponent*>(std::get<pv::TObject*>(V))
                                                                 : nullptr;
            if (!Target || Target == LentImage(Component)) return "nil";
            return Target->GetName().empty() ? "nil" : Target->GetName();
        }
        case pv::TTypeKind::tkMethod: {
            const auto& E = std::get<pv::TNotifyEvent>(V);
            return E.Assigned() && !E.Name.empty() ? E.Name : "nil";
        }
        case pv::TTypeKind::tkClass: break;
        default: {
            // A kind this file does not know: the text the form writer gives
            // it, which the reader takes back.
            const std::string Path = PathOf(Component, R.Prop, R.Object);
            std::string Lines;
            try {
                Lines = pv::WriteComponentProperties(Component, pv::TPropertySelection::psAll);
            } catch (const std::exception&) {
                // Another property the writer cannot write (a reference to
                // a component it would not find): this one shows empty.
                return {};
            }
            const std::string Key = Path + " = ";
            for (std::size_t At = 0; At < Lines.size();) {
                std::size_t End = Lines.find('\n', At);
                if (End == std::string::npos) End = Lines.size();
                if (Lines.compare(At, Key.size(), Key) == 0) return Lines.substr(At + Key.size(), End - At - Key.size());
                At = End + 1;
            }
            break;
        }
    }
    return {};
}

void TDesigner::Apply(pv::TComponent& Component, const std::string& Path, const TResolved& R,
                      const std::string& Before, const std::string& Text) {
    // A query closes when its database, SQL or parameters change: every data
    // set open before the change opens again after it, but the one whose
    // Active the change sets, which stays as set.
    const std::vector<pv::TComponentPtr<pv::TDataSet>> WereOpen = OpenDataSets(*FModule);
    std::vector<pv::TComponentPtr<pv::TDataSet>> Reopen;
    const bool SetsActive = pv::SameText(Path, "Active");
    for (const auto& D : WereOpen)
        if (!(SetsActive && D.get() == &Component)) Reopen.push_back(D);
    // The component's message may quote the value whole; a long one is
    // shown by its start and length.
    auto Shown = [&](std::string Message) {
        Message = ShortenEcho(std::move(Message), Text);
        if (Text.size() >= 2 && Text.front() == '\'' && Text.back() == '\'') {
            // A quoted text is quoted in the message as the component reads it.
            std::string Inner;
            for (std::size_t I = 1; I + 1 < Text.size(); ++I) {
                Inner += Text[I];
                if (Text[I] == '\'' && Text[I + 1] == '\'') ++I;
            }
            Message = ShortenEcho(std::move(Message), Inner);
        }
        return Message;
    };
    std::string Refusal;
    try {
        pv::SetPropertyFromString(Component, Path, Text);
    } catch (const std::exception& E) {
        Refusal = Shown(E.what());
    }
    if (Refusal.empty()) {
        try {
            // The change is named when it is another component's: the
            // message shows under the field that was edited.
            ReopenDataSets(Reopen, [&](const pv::TDataSet& D) {
                return &D == &Component ? std::string() : ShownComponentName(Component) + "." + Path;
            });
        } catch (const std::exception& E) {
            Refusal = Shown(E.what());
        }
    }
    if (!Refusal.empty()) {
        // A setter that took the value and then failed (a field name the
        // data set does not have fails at the render that follows), or a
        // value under which a data set cannot open, must not stay: the old
        // value goes back through the same path, and the data sets open
        // with it as before.
        try {
            if (ValueText(Component, R) != Before) pv::SetPropertyFromString(Component, Path, Before);
        } catch (...) {
        }
        try {
            ReopenDataSets(WereOpen);
        } catch (const std::exception& E) {
            // Something else changed meanwhile (the database file is gone):
            // the refusal says that the old value does not open it either.
            Refusal += "; back at the previous value: " + std::string(E.what());
        }
        LendPreviewImages();
        Changed();
        throw EDesignError(422, Refusal);
    }
    // A property of a sub-object (TitleFont.Size) changes the object the
    // getter returned, which no setter of the chart sees; the designer
    // redraws the preview as it does after any change in the inspector.
    if (Path.find('.') != std::string::npos && !R.IsStrings)
        if (auto* Chart = dynamic_cast<TNorq_DBPlotvane*>(&Component)) {
            try {
                Chart->DrawPreviewImage();
            } catch (...) {
            }
        }
    LendPreviewImages();
    Changed();
}

void TDesigner::SetProperty(const std::string& Component, const std::string& Path, const json& Value) {
    pv::TComponent& C = FindNamed(Component);
    TResolved R = Resolve(C, Path);
    SetPropertyText(Component, Path, ToFormText(R, Value));
}

void TDesigner::SetPropertyText(const std::string& Component, const std::string& Path, const std::string& Text) {
    pv::TComponent& C = FindNamed(Component);
    TResolved R = Resolve(C, Path);
    const std::string Before = ValueText(C, R);
    Apply(C, Path, R, Before, Text);
    const std::string After = ValueText(C, R);
    if (After == Before) return;
    TEdit E;
    E.Target = TargetOf(C);
    E.Path = Path;
    E.Before = Before;
    E.After = After;
    Record(std::move(E));
}

std::shared_ptr<TDesigner::TTarget> TDesigner::TargetOf(pv::TComponent& Component) {
    for (const TEdit& E : FHistory)
        if (E.Target && E.Target->Component.get() == &Component) return E.Target;
    auto T = std::make_shared<TTarget>();
    T->Component = &Component;
    return T;
}

void TDesigner::Record(TEdit Edit) {
    if (FSavedAt > FDone) FSavedAtLost = true;
    FHistory.resize(FDone);
    FHistory.push_back(std::move(Edit));
    FDone = FHistory.size();
}

void TDesigner::Perform(TEdit& E, bool Forward) {
    // Whether this step adds the series or takes it away.
    const bool Adds = (E.Kind == TEditKind::ekAddSeries) == Forward;
    if (E.Kind != TEditKind::ekProperty && Adds) {
        E.Target->Component = &CreateSeries(E.Image);
        return;
    }
    pv::TComponent* C = E.Target ? E.Target->Component.get() : nullptr;
    if (!C) throw EDesignError(409, std::string("the component of the ") + (Forward ? "" : "last ") + "change is gone");
    if (E.Kind != TEditKind::ekProperty) {
        // The series as it stands now is what comes back.
        E.Image = ImageOf(*C);
        FreeSeries(*C);
        return;
    }
    if (Forward)
        Apply(*C, E.Path, Resolve(*C, E.Path), E.Before, E.After);
    else
        Apply(*C, E.Path, Resolve(*C, E.Path), E.After, E.Before);
}

bool TDesigner::Undo() {
    if (!CanUndo()) return false;
    Perform(FHistory[FDone - 1], false);
    --FDone;
    return true;
}

bool TDesigner::Redo() {
    if (!CanRedo()) return false;
    Perform(FHistory[FDone], true);
    ++FDone;
    return true;
}

// ---------------------------------------------------------------------------
// Further series

TDesigner::TComponentImage TDesigner::ImageOf(pv::TComponent& Component) {
    TComponentImage Image;
    Image.Name = Component.GetName();
    Image.Index = Component.GetComponentIndex();
    const std::function<void(pv::TObject&, const std::string&, int)> Walk = [&](pv::TObject& Object,
                                                                               const std::string& Prefix, int Depth) {
        const pv::TClassInfo* Info = Object.ClassInfo();
        if (!Info || Depth > 8) return;
        for (const pv::TPropInfo* P : pv::GetPropList(*Info)) {
            if (!P->Get || !P->Set || !P->IsStored(Object) || (Depth == 0 && P->Name == "Name")) continue;
            const std::string Path = Prefix + std::string(P->Name);
            if (P->Kind == pv::TTypeKind::tkClass) {
                pv::TPropValue V = P->Get(Object);
                pv::TObject* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
                if (dynamic_cast<pv::TStrings*>(Sub))
                    Image.Properties.emplace_back(Path + ".Strings", ValueText(Component, TResolved{&Object, P, true}));
                else if (Sub)
                    Walk(*Sub, Path + ".", Depth + 1);
                continue;
            }
            Image.Properties.emplace_back(Path, ValueText(Component, TResolved{&Object, P, false}));
        }
    };
    Walk(Component, "", 0);
    return Image;
}

pv::TComponent& TDesigner::CreateSeries(const TComponentImage& Image) {
    // Owned by the module from the start, so that its references resolve
    // as the reader resolves them; freed again when a property fails.
    auto* Series = new Norq_Plotvane::TNorq_DBPlotvaneSeries(FModule.get());
    std::string Failure;
    try {
        Series->SetDesigning(true);
        Series->SetName(Image.Name);
        for (const auto& [Path, Text] : Image.Properties) pv::SetPropertyFromString(*Series, Path, Text);
    } catch (const std::exception& E) {
        Failure = E.what();
    }
    if (!Failure.empty()) {
        Series->Free();
        LendPreviewImages();
        Changed();
        throw EDesignError(422, "cannot put back series " + Image.Name + ": " + Failure);
    }
    if (Image.Index >= 0) Series->SetComponentIndex(Image.Index);
    LendPreviewImages();
    Changed();
    return *Series;
}

void TDesigner::FreeSeries(pv::TComponent& Series) {
    // It leaves its chart, which redraws, and its module; every guarded
    // reference to it (the history's) turns null.
    Series.Free();
    LendPreviewImages();
    Changed();
}

std::string TDesigner::AddSeries(const std::string& ChartName) {
    auto* Chart = dynamic_cast<TNorq_DBPlotvane*>(&FindNamed(ChartName));
    if (!Chart) throw EDesignError(404, QuoteClientText(ChartName) + " is no chart");
    std::string Name;
    for (int N = 1; Name.empty(); ++N) {
        const std::string Try = "Series" + std::to_string(N);
        bool Taken = false;
        for (pv::TComponent* C : NamedComponents()) Taken = Taken || pv::SameText(C->GetName(), Try);
        if (!Taken) Name = Try;
    }
    TComponentImage Image;
    Image.Name = Name;
    // The chart's data and X fields, so that the new series shares its
    // categories; which values it shows is the user's to pick.
    const pv::TDataSource* Source = Chart->GetDataSource();
    Image.Properties = {
        {"DataSource", Source && !Source->GetName().empty() ? Source->GetName() : std::string("nil")},
        {"XLabelsSource", pv::QuoteFormString(Chart->GetXLabelsSource())},
        {"XValueSource", pv::QuoteFormString(Chart->GetXValueSource())},
        {"Chart", Chart->GetName()},
    };
    pv::TComponent& Series = CreateSeries(Image);
    TEdit E;
    E.Kind = TEditKind::ekAddSeries;
    E.Target = TargetOf(Series);
    Record(std::move(E));
    return Name;
}

void TDesigner::RemoveSeries(const std::string& Name) {
    pv::TComponent& C = FindNamed(Name);
    if (!dynamic_cast<Norq_Plotvane::TNorq_DBPlotvaneSeries*>(&C))
        throw EDesignError(422, C.GetName() + " is a " + std::string(C.ClassName()) + ", not a series");
    TEdit E;
    E.Kind = TEditKind::ekRemoveSeries;
    E.Target = TargetOf(C);
    E.Image = ImageOf(C);
    FreeSeries(C);
    Record(std::move(E));
}

// ---------------------------------------------------------------------------
// Data

void TDesigner::SetDataSetActive(const std::string& Name, bool Active) {
    pv::TDataSet& D = FindDataSet(Name);
    SetPropertyText(D.GetName(), "Active", Active ? "True" : "False");
}

void TDesigner::PostRecord(const std::string& Name, int RecNo, const json& Values) {
    pv::TDataSet& D = FindDataSet(Name);
    if (!Values.is_object() || Values.empty())
        throw EDesignError(400, "a record edit needs the fields to set, by name");
    if (!D.GetActive()) throw EDesignError(422, D.GetName() + " is closed: open it to edit its records");
    if (!D.GetCanModify()) throw EDesignError(422, D.GetName() + " is a " + std::string(D.ClassName()) +
                                                       ", whose records cannot be edited");
    try {
        D.SetRecNo(RecNo);
        D.Edit();
        for (const auto& [Field, Value] : Values.items()) {
            pv::TField* Found = D.FindField(Field);
            if (!Found) throw EDesignError(422, D.GetName() + " has no field " + QuoteClientText(Field));
            pv::TField& F = *Found;
            if (Value.is_null())
                F.Clear();
            else if (Value.is_string())
                F.SetAsString(Value.get<std::string>());
            else if (Value.is_number())
                F.SetAsFloat(Value.get<double>());
            else
                throw EDesignError(400, "the value of " + Field + " must be a text, a number or null, not " +
                                            DescribeClientJson(Value));
        }
        D.Post();
    } catch (const std::exception& E) {
        const std::string Message = E.what();
        try {
            if (D.GetState() == pv::TDataSetState::dsEdit || D.GetState() == pv::TDataSetState::dsInsert) D.Cancel();
        } catch (...) {
        }
        Changed();
        if (auto* Design = dynamic_cast<const EDesignError*>(&E)) throw EDesignError(Design->Status(), Message);
        throw EDesignError(422, Message);
    }
    Changed();
}

// ---------------------------------------------------------------------------
// Preview

const std::string& TDesigner::PreviewPng(const std::string& Name, double Scale) {
    for (auto& P : FPreviews) {
        TNorq_DBPlotvane* Chart = P->Chart.get();
        if (!Chart || !pv::SameText(Chart->GetName(), Name)) continue;
        if (P->EncodedAt == FVersion && P->EncodedScale == Scale && !P->Png.empty()) return P->Png;
        auto Encode = [&](pv::TBitmap* Bitmap) -> const std::string& {
            if (!Bitmap || Bitmap->GetEmpty()) throw EDesignError(404, Name + " has no preview picture yet");
            std::vector<std::uint8_t> Bytes = Bitmap->EncodePNG();
            P->Png.assign(Bytes.begin(), Bytes.end());
            P->EncodedAt = FVersion;
            P->EncodedScale = Scale;
            return P->Png;
        };
        if (Scale != 1) {
            // Drawn at the scale for this answer only; the chart's own scale
            // (never stored) goes back to what it was.
            struct TRestore {
                TNorq_DBPlotvane* C;
                double Held;
                ~TRestore() { C->SetScale(Held); }
            } Restore{Chart, Chart->GetScale()};
            Chart->SetScale(Scale);
            return Encode(Chart->GetBMPPicture());
        }
        pv::TImage* Image = Chart->GetPreviewImage();
        pv::TBitmap* Bitmap = Image ? Image->GetPicture()->GetBitmap() : nullptr;
        if (!Bitmap || Bitmap->GetEmpty()) {
            // An image of the form that has not been drawn yet.
            Chart->DrawPreviewImage();
            Bitmap = Image ? Image->GetPicture()->GetBitmap() : nullptr;
        }
        return Encode(Bitmap);
    }
    throw EDesignError(404, "the form has no chart named " + QuoteClientText(Name));
}

// ---------------------------------------------------------------------------
// Saving

std::string TDesigner::FormText() {
    // The lent images are the designer's, not the form's: the charts hold
    // nil while the writer runs, and get the images back afterwards.
    for (auto& P : FPreviews)
        if (TNorq_DBPlotvane* Chart = P->Chart.get(); Chart && Chart->GetPreviewImage() == P->Image.get())
            Chart->SetPreviewImage(nullptr);
    struct TRelend {
        TDesigner& D;
        ~TRelend() { D.LendPreviewImages(); }
    } Relend{*this};
    return pv::WriteForm(*FModule);
}

bool TDesigner::ChangedOnDisk() const {
    std::ifstream In(FFormFile, std::ios::binary);
    if (!In) return true;
    std::ostringstream Buffer;
    Buffer << In.rdbuf();
    return Buffer.str() != FDiskText;
}

std::string TDesigner::ClosedSinceSaved() {
    std::vector<const pv::TDataSet*> Closed;
    for (const auto& P : FOpenAtSave)
        if (const pv::TDataSet* D = P.get(); D && !D->GetActive()) Closed.push_back(D);
    if (Closed.empty()) return {};
    std::vector<std::string> Charts;
    for (const auto& P : FPreviews) {
        const TNorq_DBPlotvane* Chart = P->Chart.get();
        const pv::TDataSource* Source = Chart ? Chart->GetDataSource() : nullptr;
        if (Source && std::find(Closed.begin(), Closed.end(), Source->GetDataSet()) != Closed.end())
            Charts.push_back("\"" + ShownComponentName(*Chart) + "\"");
    }
    // "A", "A and B", "A, B and C".
    auto List = [](const std::vector<std::string>& Items) {
        std::string S;
        for (std::size_t I = 0; I < Items.size(); ++I)
            S += (I == 0 ? "" : I + 1 == Items.size() ? " and " : ", ") + Items[I];
        return S;
    };
    std::vector<std::string> Names;
    for (const pv::TDataSet* D : Closed) Names.push_back(ShownComponentName(*D));
    const bool One = Names.size() == 1;
    std::string Question = List(Names) + (One ? " was" : " were") + " open when the form was " +
                           (FSavedOnce ? "saved" : "read") + " and " + (One ? "is" : "are") +
                           " closed now: saved so (Active = False), " + (One ? "it stays" : "they stay") +
                           " closed whenever the form is read";
    if (!Charts.empty())
        Question += ", and " + std::string(Charts.size() == 1 ? "chart " : "charts ") + List(Charts) +
                    (Charts.size() == 1 ? " has" : " have") + " no points";
    return Question + "; save again with inactive to write it so";
}

void TDesigner::Save(bool Overwrite, bool Inactive) {
    std::error_code Ec;
    const bool Exists = std::filesystem::exists(FFormFile, Ec);
    std::string Disk;
    if (Exists) Disk = ReadFileBytes(FFormFile);
    if (!Overwrite && (!Exists || Disk != FDiskText))
        throw EDesignError(409, FFormFile + (Exists ? " changed on disk since it was opened" : " is gone from disk") +
                                    "; save again with overwrite to replace it",
                           "changed");
    if (!Inactive)
        if (std::string Question = ClosedSinceSaved(); !Question.empty()) throw EDesignError(409, Question, "inactive");
    const std::string Text = FormText();
    auto Bytes = [](const std::string& S) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(S.data()), S.size());
    };
    try {
        if (Exists) pv::WriteFileAtomically(FFormFile + ".bak", Bytes(Disk));
        pv::WriteFileAtomically(FFormFile, Bytes(Text));
    } catch (const std::exception& E) {
        throw EDesignError(500, E.what());
    }
    FDiskText = Text;
    FOpenAtSave = OpenDataSets(*FModule);
    FSavedOnce = true;
    FSavedAt = FDone;
    FSavedAtLost = false;
    Changed();
}

}  // namespace plotvane
