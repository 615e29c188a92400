#pragma once
// The host side of reading Plotvane forms: which classes a form may hold and
// how the tools read one.

#include <memory>
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/FormReader.h"

namespace plotvane {

// Registers with the form reader every class a Plotvane form may hold
// (TDataModule, TImage, the data sources and data sets, SQLite,
// PostgreSQL and MariaDB, TNorq_DBPlotvane) and the colour names (clWindow, clRed, ...).
// Safe to call any number of times and from several threads; the work is
// done once.
void RegisterFormClasses();

// The options the tools read forms with: relative database file names in a
// form are taken from the form file's folder (the reader's default), also
// for data sets that learn that folder through their own setter.
pv::TFormReadOptions HostReadOptions(bool Designing = false);

// Registers the classes, then reads FileName with HostReadOptions.
pv::TUniqueComponent<pv::TComponent> LoadForm(const std::string& FileName, bool Designing = false);

}  // namespace plotvane
