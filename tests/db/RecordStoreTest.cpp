// The column store under every data set, against a plain list of records
// given the same random appends, inserts, sets and erases; and the numbers a
// chart reads from a column without visiting its records.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/db/MemDataSet.h"
#include "platform/db/RecordStore.h"

namespace pv {
namespace {

TFieldValue RandomValue(std::mt19937& Rng) {
    switch (Rng() % 5) {
        case 0: return NullValue;
        case 1: return static_cast<std::int64_t>(Rng() % 100) - 50;
        case 2: return static_cast<double>(Rng() % 1000) / 8;
        case 3: return std::string(Rng() % 20, 'a' + static_cast<char>(Rng() % 26));
        default: return Rng() % 2 ? TFieldValue(std::int64_t{7}) : TFieldValue(NullValue);
    }
}

TEST(RecordStoreTest, KeepsWhatAListOfRecordsKeepsWhateverTheKindsAndOperations) {
    for (unsigned Seed = 1; Seed <= 40; ++Seed) {
        std::mt19937 Rng(Seed);
        // Seeds below 20 keep each column to one kind (and nulls), so that
        // the typed columns and their null flags do the work; the others mix.
        const bool OneKind = Seed < 20;
        TRecordStore Store(3);
        std::vector<TRecordBuffer> Model;
        auto Value = [&](std::size_t F) -> TFieldValue {
            if (!OneKind) return RandomValue(Rng);
            if (Rng() % 4 == 0) return NullValue;
            if (F == 0) return static_cast<std::int64_t>(Rng() % 9);
            if (F == 1) return static_cast<double>(Rng() % 100) / 4;
            return std::string(Rng() % 20, 'x');
        };
        auto Record = [&] {
            TRecordBuffer R;
            for (std::size_t F = 0; F < 3; ++F) R.Values.push_back(Value(F));
            R.Key = Rng() % 3 ? 0 : Rng() % 99 + 1;
            return R;
        };
        for (int Step = 0; Step < 200; ++Step) {
            const std::size_t Row = Model.empty() ? 0 : Rng() % Model.size();
            const unsigned Op = Rng() % 8;
            TRecordBuffer R = Record();
            if (Op < 4 || Model.empty()) {
                Store.AppendRecord(R);
                Model.push_back(R);
            } else if (Op == 4) {
                Store.InsertRecord(Row, R);
                Model.insert(Model.begin() + static_cast<std::ptrdiff_t>(Row), R);
            } else if (Op == 5) {
                Store.SetRecord(Row, R);
                Model[Row] = R;
            } else if (Op == 6) {
                Store.EraseRecord(Row);
                Model.erase(Model.begin() + static_cast<std::ptrdiff_t>(Row));
            }
            ASSERT_EQ(Store.Size(), Model.size());
        }
        for (std::size_t Row = 0; Row < Model.size(); ++Row) {
            const TRecordBuffer R = Store.Record(Row);
            ASSERT_EQ(R.Values, Model[Row].Values) << "seed " << Seed << ", record " << Row;
            ASSERT_EQ(R.Key, Model[Row].Key) << "seed " << Seed << ", record " << Row;
        }
        // Numbers read straight from a column are what the records hold; a
        // column holding a text refuses to be read that way.
        for (std::size_t F = 0; F < 3; ++F) {
            std::vector<double> Numbers;
            bool AnyText = false;
            for (const TRecordBuffer& R : Model) AnyText |= std::holds_alternative<std::string>(R.Values[F]);
            ASSERT_EQ(Store.ReadNumbers(F, Numbers), !AnyText) << "seed " << Seed << ", field " << F;
            if (AnyText) continue;
            for (std::size_t Row = 0; Row < Model.size(); ++Row) {
                double Expected = std::nan("");
                if (!std::holds_alternative<std::monostate>(Model[Row].Values[F]))
                    ValueToFloat(Model[Row].Values[F], Expected);
                ASSERT_TRUE(std::isnan(Expected) ? std::isnan(Numbers[Row]) : Numbers[Row] == Expected);
            }
        }
        EXPECT_EQ(Store.TakeRecords().size(), Model.size());
        EXPECT_TRUE(Store.Empty());
    }
}

TEST(RecordStoreTest, ADataSetReadsNumbersDirectlyOnlyWhereNoRecordCouldFail) {
    TMemDataSet Mem(nullptr);
    Mem.AddField("x", TFieldType::ftInteger);
    Mem.AddField("y", TFieldType::ftFloat);
    Mem.AddField("label", TFieldType::ftString);
    Mem.AppendRecord({std::int64_t{1}, 2.5, "a"});
    Mem.AppendRecord({NullValue, NullValue, "b"});
    Mem.AppendRecord({std::int64_t{3}, 4.0, "c"});
    Mem.Open();
    std::vector<double> Xs, Ys;
    ASSERT_TRUE(Mem.ReadNumbers(Mem.FieldByName("x"), Xs));
    EXPECT_EQ(Xs[0], 1);
    EXPECT_TRUE(std::isnan(Xs[1]));
    EXPECT_EQ(Xs[2], 3);
    ASSERT_TRUE(Mem.ReadNumbers(Mem.FieldByName("y"), Ys));
    EXPECT_EQ(Ys[0], 2.5);
    EXPECT_TRUE(std::isnan(Ys[1]));
    // A text may raise when read as a number, naming its record.
    EXPECT_FALSE(Mem.ReadNumbers(Mem.FieldByName("label"), Ys));
    // A pending edit is what a read must show: only record by record.
    Mem.Edit();
    Mem.FieldByName("x").SetAsInteger(9);
    EXPECT_FALSE(Mem.ReadNumbers(Mem.FieldByName("x"), Xs));
    Mem.Post();
    ASSERT_TRUE(Mem.ReadNumbers(Mem.FieldByName("x"), Xs));
    EXPECT_EQ(Xs[0], 9);
    // Another data set's field is not read.
    TMemDataSet Other(nullptr);
    Other.AddField("x", TFieldType::ftInteger);
    Other.Open();
    EXPECT_FALSE(Mem.ReadNumbers(Other.FieldByName("x"), Xs));
}

}  // namespace
}  // namespace pv
