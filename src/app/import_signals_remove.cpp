// "Import signals": what it wrote, and the removal of ticked signals that
// were imported, as remove-signals does.
#include "app/import_signals_window.h"

#include "platform/folder_lock.h"
#include "platform/printable_text.h"
#include "platform/qt/window_util.h"
#include "platform/text.h"
#include "platform/user_dialogs.h"
#include "signaldb/signal_removal.h"

#include <QStandardItemModel>

#include <algorithm>

namespace vestrel {

using namespace signaldb;

std::string TFImportSignals::WrittenFiles(const ProjectTables& tables) {
    std::vector<std::string> files;
    for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit})
        if (tables.Of(d).changed) {
            files.emplace_back(FramesFileName(d));
            files.emplace_back(MappingsFileName(d));
        }
    if (tables.signalFileChanged) files.push_back(tables.signalFileName);
    return JoinedWithAnd(files);
}

std::vector<std::string> TFImportSignals::TickedImported() const {
    std::vector<std::string> targets;
    if (!database_ || !tables_) return targets;
    const std::string path = DescribeDatabase(projectDir_, file_, bytes_).path;
    for (int m = 0; m < model_->rowCount(); ++m) {
        QStandardItem* name = model_->item(m, ColName);
        const Message& message = database_->messages[static_cast<std::size_t>(name->data(IndexRole).toInt())];
        const ImportedMessage* entry = EntryOfMessage(*tables_, static_cast<FrameDirection>(model_->item(m, ColDirection)->data(DirectionRole).toInt()), message, path);
        if (!entry || !name->isCheckable() || name->checkState() == Qt::Unchecked) continue;
        if (name->checkState() == Qt::Checked) {
            targets.push_back(entry->name);
            continue;
        }
        for (int i = 0; i < name->rowCount(); ++i) {
            const std::string& signal = message.signalList[static_cast<std::size_t>(i)].name;
            const bool held = std::any_of(entry->signalList.begin(), entry->signalList.end(),
                                          [&](const ImportedSignal& s) { return s.signal.name == signal; });
            if (held && name->child(i, ColName)->checkState() == Qt::Checked) targets.push_back(entry->name + "." + signal);
        }
    }
    return targets;
}

// What remove-signals does, for the ticked signals that were imported: asked
// first, No the default, since it takes mapping rows and frames away.
void TFImportSignals::BtRemoveClick() {
    const std::vector<std::string> targets = TickedImported();
    if (targets.empty() || !tables_) return;
    ProjectTables preview = *tables_;
    RemovalLog planned;
    try {
        planned = RemoveSignals(preview, targets);
    } catch (const ImportRefused& refused) {
        dialogs_.ShowError(PrintableText(refused.what(), LineBreaks::Keep));
        return;
    }
    std::string question = "Remove " + JoinedWithAnd(targets) + " from the project? " +
                           Plural(planned.registers.size(), "register loses its row", "registers lose their rows") +
                           ", and a frame the import added goes once nothing maps it:";
    for (const RemovedRegister& r : planned.registers) question += "\n" + r.line;
    if (dialogs_.ConfirmDefaultNo(PrintableText(question, LineBreaks::Keep)) != Answer::Yes) return;
    std::string wrote;
    RunCommand(dialogs_, [&] {
        try {
            FolderLocks locks({projectDir_}, FolderLocks::Wait::No);
            ProjectTables tables = ReadProjectTables(projectDir_);
            const RemovalLog log = RemoveSignals(tables, targets);
            WriteProjectTables(projectDir_, tables, TablesChange::Removal);
            wrote = "Wrote " + WrittenFiles(tables) + ": removed " +
                    Plural(log.registers.size(), "register", "registers") + ".";
            for (const std::string& note : log.notes) wrote += "\n" + note;
        } catch (const ImportRefused& refused) {
            dialogs_.ShowError(PrintableText(refused.what(), LineBreaks::Keep));
        }
    });
    if (wrote.empty()) return;
    SetProjectDir(projectDir_);
    ShowStatus(wrote);
}

}  // namespace vestrel
