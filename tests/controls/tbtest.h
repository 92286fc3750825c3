// Shared start of the toolbar tests: the window layer comes up before any
// test makes a font or a device context, whatever order the tests run in,
// since the windows need the widget application to be the first one made.
#pragma once

#include <gtest/gtest.h>

#include "platform/ui/forms.h"

class TTBWindowingEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_NE(static_cast<TApplication*>(Application), nullptr); }
};

inline ::testing::Environment* const TBWindowingEnvironment =
    ::testing::AddGlobalTestEnvironment(new TTBWindowingEnvironment);
