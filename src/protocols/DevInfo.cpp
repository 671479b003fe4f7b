#include "protocols/DevInfo.h"

namespace zadari {

std::string FamilyLetters(std::int32_t family) {
    switch (family) {
    case kFamilyKt352:
    case kFamilyCtp:
        return "E";
    case kFamilyPeltra:
        return "M";
    case kFamilyMoi:
        return "F";
    case kFamilyUicam:
        return "F1";
    case kFamilySdk:
    case kFamily6801:
        return "H";
    case kFamilyHds:
        return "V";
    case kFamilyZorix:
        return "F2";
    case kFamilyDh:
        return "T";
    case kFamilyZorixNet:
        return "NAS";
    default:
        return "";
    }
}

} // namespace zadari
