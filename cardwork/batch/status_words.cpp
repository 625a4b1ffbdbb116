#include "cardwork/batch/status_words.h"

#include "carvex/carvex.h"

namespace cardwright {

std::string DescribeStatus(int32_t status, int item) {
    const std::string subject = item >= 0 ? "item " + std::to_string(item) : "the request";
    switch (status) {
        case CARVEX_STATUS_NOT_SENT:
            return "the request could not be written to the card";
        case CARVEX_STATUS_NO_REPLY:
            return "the card did not answer in time";
        case CARVEX_STATUS_NV_FAILED:
            return "the card could not process " + subject + " (NV status error)";
        case CARVEX_STATUS_READ_ONLY:
            return subject + " is read-only on the card (NV status 7)";
        case CARVEX_STATUS_INACTIVE:
            return subject + " is not active on the card (NV status 5)";
        case CARVEX_STATUS_BAD_PARAMETER:
            return "the card rejected " + subject + " as a bad parameter (NV status 6)";
        case CARVEX_STATUS_NV_FULL:
            return "the card's NV memory is full (NV status 3)";
        case CARVEX_STATUS_NO_MEMORY:
            return "the card is out of memory (NV status 9)";
        case CARVEX_STATUS_NOT_IN_BUILT_IN_TABLE:
            return "the card's version request is not in the built-in table";
        case CARVEX_STATUS_NOT_IN_CARD_TABLE:
            return "the card's version request is not in the card's table";
        default:
            return "request status " + std::to_string(status);
    }
}

}  // namespace cardwright
