#pragma once

// Deletes the hard-disk controller class key and the PCI and multifunction
// device trees, so that Windows detects those devices again. Returns 0.
int ResetDeviceRegistry();
