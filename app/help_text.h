#pragma once

inline constexpr const char kHelpCaption[] = "Varnel PCI IDE Settings for Windows 95";
inline constexpr const char kHelpText[] =
    "KESTRA32 Program, Version 1.00 - kvb120397\n"
    "Copyright (C) 1997 Varnel. All rights reserved.\n"
    "\n"
    "Usage:\tKESTRA32 [-{h|?}]\n"
    "\t-{h|?}\tTo show this message.";
