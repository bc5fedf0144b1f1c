// The image reader and the acceptance as the device-layer tests see them.
// The transfer's image calls (OpenImage, CloseImage, SetExpectedDevice,
// AcceptImage) are answered by fake_image.cpp, linked into the test program
// ahead of the real libraries, so that a test decides by the file's content
// what the checks find:
//
//   a file that starts with the line "IMAGE <make>|<model>\n" opens as an image
//   and is accepted only when the expected device is exactly <make>/<model>;
//   any other file does not open.
//
// Every call is logged, so a test sees the order of open, expect, accept and
// close and what the device layer handed over.
#pragma once

#include <string>
#include <vector>

// The first bytes of a file that the fake opens as an image signed for the
// given player.
std::string FakeImageHeader(const std::string& make, const std::string& model);

// Calls since the last reset, e.g. "open", "expect Corvane|ZR-410", "accept
// yes", "close"; texts in UTF-8.
const std::vector<std::string>& FakeImageCalls();
void FakeImageReset();
// Whether the fake holds an image open right now.
bool FakeImageIsOpen();
