#include "protocols/Dispatch.h"

#include "protocols/FamilyTable.h"

namespace zadari {

bool DispatchReply(std::string_view datagram, TDevInfo& record, const TDispatchContext& context) {
    // The first family whose recogniser takes the datagram decides, even when its parser then
    // rejects it.
    for (const TFamilyRow& family : Families()) {
        if (family.isReply != nullptr && family.isReply(datagram))
            return family.parseReply(datagram, record, context);
    }
    return false;
}

} // namespace zadari
