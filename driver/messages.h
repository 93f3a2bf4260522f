#pragma once
// Product texts shown to the user or handed to the engine and post-processor.

constexpr const char* kProductCaption = "Quorbex Tavrin Command Line";
constexpr const char* kProductText = "Quorbex Tavrin";
constexpr const char* kRasterProducer = "quorbex";
