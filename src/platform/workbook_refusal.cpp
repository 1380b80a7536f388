#include "platform/workbook_refusal.h"

#include "platform/error.h"
#include "platform/spreadsheet_source.h"

#include <exception>
#include <new>

namespace vestrel {
namespace workbook_io {

Refusal Damaged(const std::string& detail) {
    return {"The workbook is damaged or not supported (" + detail + ")."};
}

Refusal NoSheet(std::string_view name) { return {"It has no sheet \"" + std::string(name) + "\"."}; }

void RethrowForUser(const std::filesystem::path& path) {
    try {
        throw;
    } catch (const Error&) {
        throw;
    } catch (const Refusal& refusal) {
        throw Error(WorkbookFailure(path, refusal.reason));
    } catch (const std::bad_alloc&) {
        throw Error(WorkbookFailure(path, kNotEnoughMemory));
    } catch (const std::exception& e) {
        // A library's text can be long; its start names the fault.
        throw Error(WorkbookFailure(path, Damaged(std::string(e.what()).substr(0, 200)).reason));
    }
}

}  // namespace workbook_io
}  // namespace vestrel
