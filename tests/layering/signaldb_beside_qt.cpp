// Must compile: the signal database headers are used by windows too, where
// Qt defines `signals` (and `slots`, `emit`) as macros. Built with the rest
// of the tests, so that a member or a function named like one of them breaks
// the build here, not in the window that first includes the header.
#include <QObject>

#include "signaldb/database_file.h"
#include "signaldb/dbc_reader.h"
#include "signaldb/eds_reader.h"
#include "signaldb/import_selection.h"
#include "signaldb/physical_value.h"
#include "signaldb/project_tables.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_codec.h"
#include "signaldb/signal_database.h"
#include "signaldb/signal_file.h"
#include "signaldb/signal_file_check.h"
#include "signaldb/signal_import.h"
#include "signaldb/signal_listing.h"
#include "signaldb/signal_removal.h"
#include "signaldb/source_text.h"

std::size_t SignalCountBesideQt(const vestrel::signaldb::Database& db) {
    const vestrel::signaldb::MessagePlan plan =
        vestrel::signaldb::PlanMessage(db.messages.at(0), std::nullopt, vestrel::signaldb::WordOrder::HighFirst);
    return db.messages.at(0).signalList.size() + plan.placements.size();
}
