#pragma once
// The question the upgrade asks when the server refuses one of the listed
// files: skip it and go on, or stop. Modal; window thread only.

#include <QString>

#include <cstdint>

// Message 28 with FileName, captioned message 21, " #" and StatusCode
// ("Error #404"), exclamation icon, Yes and No (Escape is No). True for Yes.
bool ShowLostFileQuestion(const QString& FileName, std::int32_t StatusCode);
