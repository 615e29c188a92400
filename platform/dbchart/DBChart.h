#pragma once
// TDBChart: a chart whose series can take their points from data sets.
//
// A series whose data source is a data set (TChartSeries::SetDataSource)
// gets one point per record, in record order: Y from the field its Y value
// list names (GetYValues()->GetValueSource()), X from the field its X value
// list names (the record's position, from 0, when none is named), and the
// label from the field its labels source names (none when empty). A null Y
// gives a null point; a null X too. A closed data set, or no Y field named,
// gives no points. An X field of a date or time type gives X values of that
// kind (their seconds, TChartValueKind), which put the chart on a time
// axis; any other field gives plain numbers.
//
// The series reads the records again when it is bound (also again to the
// same data set), when one of its three field names changes, and whenever
// the data set's records or fields change: open, close, post, delete,
// cancel, refresh, and each field set during an edit or insert, so that a
// picture drawn while a post is starting (a link's UpdateData) already shows
// the record being posted. Scrolling reads nothing. Reading never moves the
// data set's cursor and calls no link (TDataSet::ForEachRecord).
//
// Errors while reading raise EDatabaseError to whoever caused the read (the
// binding call, the field setter, Open, Post) and leave the series without
// points, never with some: a field name the data set lacks (`Query1: field
// "revenue" not found`), or a value that is not a number (`Query1: field
// "revenue" of record 3: 'n/a' is not a number`).
//
// A series with a group field (TChartSeries::SetGroupSource) is split: the
// records fall into one group per distinct value of the field (a null
// value makes the group "(null)", an empty one "(empty)"), in the order the
// values are first met. The categories are the union over all groups of the
// labels (else the X values, else a record's place within its group), also
// in the order first met; each group gets one point per category, a null
// point (a gap) where it has no record. The series keeps the first group
// and is titled by its value; the others become its further groups. A
// group field the data set lacks, more than MaxGroups groups, or two records
// of one group in one category raise EDatabaseError naming the chart and
// the series (`Chart of 'Sales', series '1': group field "regoin" not found
// in Query1`). On a chart of several series the errors of reading a series
// name it too: `Chart of 'Sales', series 'Total': Query2: field "revenue"
// not found`.
//
// To hear of changes the chart keeps, per bound data set, an internal data
// source and data link, owned by the chart; it asks the data set for a
// removal notice (FreeNotification), and when the data set is destroyed the
// series bound to it lose their points and the data set is never touched
// again.

#include <memory>
#include <vector>

#include "platform/chart/Chart.h"
#include "platform/db/DataSet.h"

namespace pv {

class TDBChart : public TCustomChart {
public:
    // The most groups a series may be split into.
    static constexpr std::size_t MaxGroups = 64;

    explicit TDBChart(TComponent* AOwner);
    ~TDBChart() override;
    std::string_view ClassName() const override { return "TDBChart"; }

    // Reads ASeries' points from the records of its data set (see above). A
    // series whose data source is no data set keeps its points.
    void CheckDatasource(TChartSeries& ASeries) override;
    // Reads again every attached series whose data source is ADataSet. Every
    // series is read even when one fails; the first error is raised after.
    void RefreshDataSet(TDataSet* ADataSet);
    // How many data sets the chart is observing; a data set no series uses
    // any more is let go at the next binding.
    int GetObservedDataSetCount() const { return static_cast<int>(FObservers.size()); }

    void Notification(TComponent* AComponent, TOperation Operation) override;

    // Further fields every series reads from its records as text and keeps
    // beside its points (TChartSeries::PointField), for hints and links.
    // Changing the list reads the bound series again. A field the data set
    // lacks raises EDatabaseError at the read, naming the data set, the
    // field and What (who asks for it).
    const std::vector<std::string>& GetKeptFields() const { return FKeptFields; }
    void SetKeptFields(const std::vector<std::string>& Names, const std::string& What);

protected:
    // Lets go of every observed data set, then frees the series.
    void BeforeDestruction() noexcept override;

private:
    struct TObserver;
    class TObserverLink;

    void ReadSeries(TChartSeries& ASeries, TDataSet& ADataSet);
    void ReadGroups(TChartSeries& ASeries, TDataSet& ADataSet);
    // "Chart of 'Owner', series 'Name'" (its title when it has no name, its
    // place from 1 when it has neither), for errors.
    std::string SeriesForMessage(const TChartSeries& ASeries) const;
    void Observe(TDataSet& ADataSet);
    // Lets go of data sets that died or that no series uses; not while one
    // of the chart's own links is being called.
    void PruneObservers();
    // Empties series whose data sources have all died.
    void ClearOrphanedSeries();

    // The kept fields' TField of ADataSet, in FKeptFields' order.
    std::vector<TField*> KeptFieldsOf(TDataSet& ADataSet) const;

    std::vector<std::string> FKeptFields;
    std::string FKeptFor;
    std::vector<std::unique_ptr<TObserver>> FObservers;
    // Series being read, so a change notice during a read does not start
    // the same read again.
    std::vector<const TChartSeries*> FReading;
    // Depth of calls from the chart's own links.
    int FCallbackDepth = 0;
};

}  // namespace pv
