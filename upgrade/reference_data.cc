#include "upgrade/reference_data.h"

#include <array>

namespace vaq::upgrade {

namespace {

constexpr std::array kEventNames = {
    CodeName{0, "No Event"},
    CodeName{1, "Entrance (Pass)"},
    CodeName{2, "Entrance (Double)"},
    CodeName{3, "Anti Pass Back (Entrance)"},
    CodeName{4, "No Time (Entrance)"},
    CodeName{5, "Exit (Pass)"},
    CodeName{6, "Exit (Double)"},
    CodeName{7, "Anti Pass Back (Exit)"},
    CodeName{8, "No Permit Door (Entrance)"},
    CodeName{9, "No Permit Card (Entrance)"},
    CodeName{10, "Door Sensor"},
    CodeName{11, "Left Door Open"},
    CodeName{12, "Input"},
    CodeName{13, "I/O Events"},
    CodeName{14, "Invalid PIN"},
    CodeName{15, "Recorder"},
    CodeName{16, "Release Button"},
    CodeName{17, "Break In"},
    CodeName{18, "Door Open Timeout"},
    CodeName{19, "Void Card"},
    CodeName{20, "Expired Card"},
    CodeName{21, "Going To void"},
    CodeName{22, "Force Close"},
    CodeName{23, "Full parking"},
    CodeName{24, "Exit exists"},
    CodeName{25, "No Time (Exit)"},
    CodeName{26, "No Permit Door (Exit)"},
    CodeName{27, "No Permit Card (Exit)"},
    CodeName{28, "Loss connection"},
    CodeName{29, "Keyin Door PIN (Entrance)"},
    CodeName{30, "Keyin Door PIN (Exit)"},
    CodeName{31, "Painic PIN"},
    CodeName{32, "Invalid Door PIN"},
    CodeName{33, "Reader not found"},
    CodeName{34, "Door Controller not found"},
    CodeName{35, "35"},
    CodeName{36, "36"},
    CodeName{37, "Start Auto Always Open mode"},
    CodeName{38, "Start Auto Always Close mode"},
    CodeName{39, "39"},
    CodeName{40, "40"},
    CodeName{41, "Controller Startup"},
    CodeName{42, "Use Battery"},
    CodeName{43, "Use AC Power"},
    CodeName{44, "Emergency Card(Entrance)"},
    CodeName{45, "Emergency Card(Exit)"},
    CodeName{46, "Individual PIN(Entrance)"},
    CodeName{47, "Individual PIN(Exit)"},
    CodeName{48, "Input PIN Timeout(Entrance)"},
    CodeName{49, "Input PIN Timeout(Exit)"},
};

constexpr std::array kCardFormats = {
    CodeName{0, "Normal 32-bit"},
    CodeName{1, "Custom Mask"},
    CodeName{2, "Reverse 32-bit"},
};

}  // namespace

std::span<const CodeName> event_names() {
    return kEventNames;
}

std::span<const CodeName> card_formats() {
    return kCardFormats;
}

}  // namespace vaq::upgrade
