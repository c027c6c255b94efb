#pragma once

#include <memory>
#include <string_view>

#include "toolkit/control.h"

// What the installer's windows make of element names the toolkit does not know: the animated
// label and button ("SequenceLabel", "SequenceButton", in any letter case); null for anything
// else, which the toolkit then rejects.
std::unique_ptr<SkinUI::Control> createSequenceControl(std::wstring_view elementName);
