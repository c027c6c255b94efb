#pragma once

// Whether the last HTTP exchange with the collector succeeded. Process-wide: a flush request
// reads it to decide whether sending on the caller's thread is likely quick.
namespace usage_analytics {

bool lastSendSucceeded();
void setLastSendSucceeded(bool succeeded);

}  // namespace usage_analytics
