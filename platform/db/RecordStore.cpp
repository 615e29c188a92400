#include "platform/db/RecordStore.h"

#include <cmath>
#include <limits>

namespace pv {

namespace {

template <typename T>
void InsertAt(std::vector<T>& V, std::size_t Row, T Value) {
    V.insert(V.begin() + static_cast<std::ptrdiff_t>(Row), std::move(Value));
}

template <typename T>
void EraseAt(std::vector<T>& V, std::size_t Row) {
    V.erase(V.begin() + static_cast<std::ptrdiff_t>(Row));
}

}  // namespace

// Columns

void TRecordStore::TColumn::NeedNulls() {
    if (FNulls.empty()) FNulls.assign(FSize, 0);
}

void TRecordStore::TColumn::Become(TKind Kind) {
    // Every value so far is null: they become placeholders flagged null.
    FKind = Kind;
    if (Kind == TKind::kInteger) FIntegers.assign(FSize, 0);
    if (Kind == TKind::kFloat) FFloats.assign(FSize, 0);
    if (Kind == TKind::kText) FTexts.assign(FSize, std::string());
    if (Kind == TKind::kMixed) {
        FMixed.assign(FSize, TFieldValue());
        return;
    }
    FNulls.assign(FSize, 1);
    if (FSize == 0) FNulls.clear();
}

void TRecordStore::TColumn::ToMixed() {
    if (FKind == TKind::kMixed) return;
    std::vector<TFieldValue> Mixed;
    Mixed.reserve(FSize + 1);
    for (std::size_t R = 0; R < FSize; ++R) Mixed.push_back(Get(R));
    FIntegers = {};
    FFloats = {};
    FTexts = {};
    FNulls = {};
    FMixed = std::move(Mixed);
    FKind = TKind::kMixed;
}

void TRecordStore::TColumn::PushNull() {
    switch (FKind) {
        case TKind::kNone: break;
        case TKind::kInteger: NeedNulls(), FIntegers.push_back(0), FNulls.push_back(1); break;
        case TKind::kFloat: NeedNulls(), FFloats.push_back(0), FNulls.push_back(1); break;
        case TKind::kText: NeedNulls(), FTexts.emplace_back(), FNulls.push_back(1); break;
        case TKind::kMixed: FMixed.emplace_back(); break;
    }
    ++FSize;
}

void TRecordStore::TColumn::PushInteger(std::int64_t V) {
    if (FKind == TKind::kNone) Become(TKind::kInteger);
    if (FKind == TKind::kInteger) {
        FIntegers.push_back(V);
        if (!FNulls.empty()) FNulls.push_back(0);
    } else {
        ToMixed();
        FMixed.emplace_back(V);
    }
    ++FSize;
}

void TRecordStore::TColumn::PushFloat(double V) {
    if (FKind == TKind::kNone) Become(TKind::kFloat);
    if (FKind == TKind::kFloat) {
        FFloats.push_back(V);
        if (!FNulls.empty()) FNulls.push_back(0);
    } else {
        ToMixed();
        FMixed.emplace_back(V);
    }
    ++FSize;
}

void TRecordStore::TColumn::PushText(std::string_view V) {
    if (FKind == TKind::kNone) Become(TKind::kText);
    if (FKind == TKind::kText) {
        FTexts.emplace_back(V);
        if (!FNulls.empty()) FNulls.push_back(0);
    } else {
        ToMixed();
        FMixed.emplace_back(std::string(V));
    }
    ++FSize;
}

void TRecordStore::TColumn::Push(const TFieldValue& V) {
    if (auto* I = std::get_if<std::int64_t>(&V)) return PushInteger(*I);
    if (auto* D = std::get_if<double>(&V)) return PushFloat(*D);
    if (auto* S = std::get_if<std::string>(&V)) return PushText(*S);
    PushNull();
}

bool TRecordStore::TColumn::IsNull(std::size_t Row) const {
    switch (FKind) {
        case TKind::kNone: return true;
        case TKind::kMixed: return std::holds_alternative<std::monostate>(FMixed[Row]);
        default: return Flagged(Row);
    }
}

TFieldValue TRecordStore::TColumn::Get(std::size_t Row) const {
    if (IsNull(Row)) return NullValue;
    switch (FKind) {
        case TKind::kInteger: return FIntegers[Row];
        case TKind::kFloat: return FFloats[Row];
        case TKind::kText: return FTexts[Row];
        case TKind::kMixed: return FMixed[Row];
        case TKind::kNone: break;
    }
    return NullValue;
}

void TRecordStore::TColumn::Set(std::size_t Row, const TFieldValue& V) {
    const bool Null = std::holds_alternative<std::monostate>(V);
    const TKind Kind = Null                                     ? FKind
                       : std::holds_alternative<std::int64_t>(V) ? TKind::kInteger
                       : std::holds_alternative<double>(V)       ? TKind::kFloat
                                                                 : TKind::kText;
    if (FKind == TKind::kNone && !Null) Become(Kind);
    if (FKind == TKind::kNone) return;
    if (Kind != FKind) ToMixed();
    if (FKind == TKind::kMixed) {
        FMixed[Row] = V;
        return;
    }
    if (Null) {
        NeedNulls();
        FNulls[Row] = 1;
        if (FKind == TKind::kText) FTexts[Row] = {};
        return;
    }
    if (!FNulls.empty()) FNulls[Row] = 0;
    if (FKind == TKind::kInteger) FIntegers[Row] = std::get<std::int64_t>(V);
    if (FKind == TKind::kFloat) FFloats[Row] = std::get<double>(V);
    if (FKind == TKind::kText) FTexts[Row] = std::get<std::string>(V);
}

void TRecordStore::TColumn::InsertNull(std::size_t Row) {
    switch (FKind) {
        case TKind::kNone: break;
        case TKind::kInteger: NeedNulls(), InsertAt<std::int64_t>(FIntegers, Row, 0); break;
        case TKind::kFloat: NeedNulls(), InsertAt<double>(FFloats, Row, 0); break;
        case TKind::kText: NeedNulls(), InsertAt<std::string>(FTexts, Row, {}); break;
        case TKind::kMixed: FMixed.emplace(FMixed.begin() + static_cast<std::ptrdiff_t>(Row)); break;
    }
    if (FKind != TKind::kNone && FKind != TKind::kMixed) InsertAt<std::uint8_t>(FNulls, Row, 1);
    ++FSize;
}

void TRecordStore::TColumn::Erase(std::size_t Row) {
    switch (FKind) {
        case TKind::kNone: break;
        case TKind::kInteger: EraseAt(FIntegers, Row); break;
        case TKind::kFloat: EraseAt(FFloats, Row); break;
        case TKind::kText: EraseAt(FTexts, Row); break;
        case TKind::kMixed: EraseAt(FMixed, Row); break;
    }
    if (!FNulls.empty()) EraseAt(FNulls, Row);
    --FSize;
}

TRecordStore::TKinds TRecordStore::TColumn::Kinds() const {
    TKinds K;
    auto AnyValue = [&] {
        for (std::size_t R = 0; R < FSize; ++R)
            if (!Flagged(R)) return true;
        return false;
    };
    switch (FKind) {
        case TKind::kNone: break;
        case TKind::kInteger: K.Integer = AnyValue(); break;
        case TKind::kFloat: K.Float = AnyValue(); break;
        case TKind::kText: K.Text = AnyValue(); break;
        case TKind::kMixed:
            for (const TFieldValue& V : FMixed) {
                K.Integer |= std::holds_alternative<std::int64_t>(V);
                K.Float |= std::holds_alternative<double>(V);
                K.Text |= std::holds_alternative<std::string>(V);
            }
            break;
    }
    return K;
}

bool TRecordStore::TColumn::ReadNumbers(std::vector<double>& Values) const {
    const double NaN = std::numeric_limits<double>::quiet_NaN();
    switch (FKind) {
        case TKind::kNone: Values.assign(FSize, NaN); return true;
        case TKind::kInteger:
            Values.resize(FSize);
            for (std::size_t R = 0; R < FSize; ++R) Values[R] = static_cast<double>(FIntegers[R]);
            break;
        case TKind::kFloat:
            // A float that is not finite is refused record by record, with
            // the record named; so is it here, by not reading it.
            for (std::size_t R = 0; R < FSize; ++R)
                if (!std::isfinite(FFloats[R]) && !Flagged(R)) return false;
            Values = FFloats;
            break;
        case TKind::kText:
        case TKind::kMixed: return false;
    }
    if (!FNulls.empty())
        for (std::size_t R = 0; R < FSize; ++R)
            if (FNulls[R]) Values[R] = NaN;
    return true;
}

// The store

void TRecordStore::Append(std::size_t Field, const TFieldValue& Value) { FColumns[Field].Push(Value); }

void TRecordStore::EndRecord(std::int64_t Key) {
    if (Key != 0 || !FKeys.empty()) {
        FKeys.resize(FRows);
        FKeys.push_back(Key);
    }
    ++FRows;
}

void TRecordStore::AppendRecord(const TRecordBuffer& Record) {
    for (std::size_t F = 0; F < FColumns.size(); ++F) FColumns[F].Push(Record.Values[F]);
    EndRecord(Record.Key);
}

void TRecordStore::InsertRecord(std::size_t Row, const TRecordBuffer& Record) {
    for (std::size_t F = 0; F < FColumns.size(); ++F) {
        FColumns[F].InsertNull(Row);
        FColumns[F].Set(Row, Record.Values[F]);
    }
    if (Record.Key != 0 || !FKeys.empty()) {
        FKeys.resize(FRows);
        InsertAt(FKeys, Row, Record.Key);
    }
    ++FRows;
}

void TRecordStore::SetRecord(std::size_t Row, const TRecordBuffer& Record) {
    for (std::size_t F = 0; F < FColumns.size(); ++F) FColumns[F].Set(Row, Record.Values[F]);
    if (Record.Key != 0 && FKeys.empty()) FKeys.assign(FRows, 0);
    if (!FKeys.empty()) FKeys[Row] = Record.Key;
}

void TRecordStore::EraseRecord(std::size_t Row) {
    for (TColumn& C : FColumns) C.Erase(Row);
    if (!FKeys.empty()) EraseAt(FKeys, Row);
    --FRows;
}

TRecordBuffer TRecordStore::Record(std::size_t Row) const {
    TRecordBuffer R;
    R.Values.reserve(FColumns.size());
    for (const TColumn& C : FColumns) R.Values.push_back(C.Get(Row));
    R.Key = Key(Row);
    return R;
}

void TRecordStore::Clear() { *this = TRecordStore(FColumns.size()); }

TRecordStore::TKinds TRecordStore::KindsOf(std::size_t Field) const { return FColumns[Field].Kinds(); }

bool TRecordStore::ReadNumbers(std::size_t Field, std::vector<double>& Values) const {
    return FColumns[Field].ReadNumbers(Values);
}

std::vector<TRecordBuffer> TRecordStore::TakeRecords() {
    std::vector<TRecordBuffer> Records;
    Records.reserve(FRows);
    for (std::size_t R = 0; R < FRows; ++R) Records.push_back(Record(R));
    Clear();
    return Records;
}

TRecordStore TRecordStore::FromRecords(std::vector<TRecordBuffer>&& Records, std::size_t Fields) {
    TRecordStore Store(Fields);
    for (TRecordBuffer& R : Records) {
        // A record of the wrong width (one a data set refused) is cut or
        // filled with nulls to the store's fields.
        R.Values.resize(Fields);
        Store.AppendRecord(R);
        R = {};
    }
    Records = {};
    return Store;
}

}  // namespace pv
