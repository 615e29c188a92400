// The README's example: a chart from a SQLite query answered as a web
// response. Here the "web layer" is a response that writes its body to a
// file, so the program runs without a server.
//   embed DATABASE OUT.gif

#include <cstdio>
#include <iostream>

#include "component/Norq_Plotvane.h"
#include "platform/db/DataSource.h"
#include "platform/db/SQLiteQuery.h"

using namespace Norq_Plotvane;

void AnswerChartRequest(const std::string& Database, pv::TWebResponse& Response) {
    pv::TComponent Module(nullptr);  // owns everything below
    auto* Query = new pv::TSQLiteQuery(&Module);
    Query->SetDatabaseName(Database);
    Query->GetSQL()->Add("SELECT month, SUM(revenue) AS revenue FROM sales GROUP BY month_no, month ORDER BY month_no");
    auto* Source = new pv::TDataSource(&Module);
    Source->SetDataSet(Query);

    auto* Chart = new TNorq_DBPlotvane(&Module);
    pv::TStringList Title;
    Title.Add("Revenue by month");
    Chart->SetTitleText(&Title);  // copies the lines
    Chart->SetWidth(640);
    Chart->SetHeight(360);
    Chart->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    Chart->SetXLabelsSource("month");
    Chart->SetYValueSource("revenue");
    Chart->SetDataSource(Source);
    Query->Open();

    Chart->GetGifResponse(Response);  // body + "image/gif", sent
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: embed DATABASE OUT.gif\n";
        return 2;
    }
    try {
        pv::TWebResponse Response([&](pv::TWebMessage&& M) {
            std::FILE* F = std::fopen(argv[2], "wb");
            if (!F) throw pv::EStreamError(std::string("Cannot create ") + argv[2]);
            std::fwrite(M.Body.data(), 1, M.Body.size(), F);
            std::fclose(F);
            std::cout << M.ContentType << ", " << M.Body.size() << " bytes written to " << argv[2] << "\n";
        });
        AnswerChartRequest(argv[1], Response);
    } catch (const std::exception& E) {
        std::cerr << "embed: " << E.what() << "\n";
        return 1;
    }
    return 0;
}
