// The 24 switch pictures, compiled in as resources ":/SWITCH1ON" .. ":/SMSW4UDEF", and each
// drawn at twice the size as ":/SWITCH1ON@2x" .. for scaled screens.
#pragma once

namespace orvik {

// Registers the pictures; call before the first use. Calling it again does no harm.
void InitSwitchPictures();

} // namespace orvik
