#include "host/FormClasses.h"

#include <mutex>

#include "component/Norq_Plotvane.h"
#include "platform/db/DataSource.h"
#include "platform/db/MariaDBQuery.h"
#include "platform/db/MemDataSet.h"
#include "platform/db/PgQuery.h"
#include "platform/db/SQLiteDataSet.h"
#include "platform/db/SQLiteQuery.h"
#include "platform/db/SQLiteTable.h"
#include "platform/rtl/DataModule.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/vcl/Color.h"
#include "platform/vcl/Image.h"

namespace plotvane {

void RegisterFormClasses() {
    static std::once_flag Once;
    std::call_once(Once, [] {
        pv::RegisterColorIdents(&pv::ColorToString, &pv::StringToColor, pv::ColorSpellings);
        pv::RegisterComponentClass<pv::TDataModule>("TDataModule");
        pv::RegisterComponentClass<pv::TImage>("TImage");
        pv::RegisterComponentClass<pv::TDataSource>("TDataSource");
        pv::RegisterComponentClass<pv::TMemDataSet>("TMemDataSet");
        pv::RegisterComponentClass<pv::TSQLiteQuery>("TSQLiteQuery");
        pv::RegisterComponentClass<pv::TSQLiteTable>("TSQLiteTable");
        pv::RegisterComponentClass<pv::TPgQuery>("TPgQuery");
        pv::RegisterComponentClass<pv::TMariaDBQuery>("TMariaDBQuery");
        pv::RegisterComponentClass<Norq_Plotvane::TNorq_DBPlotvane>("TNorq_DBPlotvane");
    });
}

pv::TFormReadOptions HostReadOptions(bool Designing) {
    pv::TFormReadOptions Options;
    Options.Designing = Designing;
    Options.OnCreate = [](pv::TComponent& C, const std::string& BaseDirectory) {
        if (auto* DataSet = dynamic_cast<pv::TCustomSQLiteDataSet*>(&C)) DataSet->SetBaseDirectory(BaseDirectory);
    };
    return Options;
}

pv::TUniqueComponent<pv::TComponent> LoadForm(const std::string& FileName, bool Designing) {
    RegisterFormClasses();
    return pv::ReadForm(FileName, HostReadOptions(Designing));
}

}  // namespace plotvane
