#include "model/upnp_action.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

namespace {

boost::shared_ptr<CUPnPArgument> Argument(const char16_t* name, CUPnPArgument::Direction direction) {
  auto argument = boost::make_shared<CUPnPArgument>();
  argument->SetName(name);
  argument->SetDirection(direction);
  return argument;
}

TEST(UPnPActionTest, ArgumentsKeepDescriptionOrderWithinEachDirection) {
  using Direction = CUPnPArgument::Direction;
  CUPnPAction action;
  EXPECT_EQ(S_OK, action.AddArgument(Argument(u"A", Direction::kIn)));
  EXPECT_EQ(S_OK, action.AddArgument(Argument(u"X", Direction::kOut)));
  EXPECT_EQ(S_OK, action.AddArgument(Argument(u"B", Direction::kIn)));
  EXPECT_EQ(S_OK, action.AddArgument(Argument(u"A", Direction::kIn)));
  EXPECT_EQ(S_OK, action.AddArgument(Argument(u"Y", Direction::kOut)));
  const CUPnPArgumentList& in = action.GetInArguments();
  ASSERT_EQ(3u, in.GetSize());
  EXPECT_EQ(u"A", in[0].first);
  EXPECT_EQ(u"B", in[1].first);
  EXPECT_EQ(u"A", in[2].first);
  EXPECT_EQ(0u, in.Find(u"A"));  // the first of a repeated name
  EXPECT_EQ(CUPnPArgumentList::npos, in.Find(u"a"));
  ASSERT_EQ(2u, action.GetOutArguments().GetSize());
  EXPECT_EQ(u"Y", action.GetOutArguments()[1].first);
}

TEST(UPnPActionTest, RefusesWhatADescriptionCannotMean) {
  CUPnPAction action;
  EXPECT_EQ(E_INVALIDARG, action.SetName(u""));
  EXPECT_EQ(E_UNEXPECTED, action.AddArgument(Argument(u"NoDirection", CUPnPArgument::Direction::kUnset)));
  EXPECT_EQ(E_POINTER, action.AddArgument(nullptr));
  EXPECT_EQ(0u, action.GetInArguments().GetSize());
  CUPnPArgument argument;
  EXPECT_EQ(E_INVALIDARG, argument.SetName(u""));
  EXPECT_EQ(E_INVALIDARG, argument.SetRelatedStateVariable(u""));
  EXPECT_EQ(S_OK, argument.SetRelatedStateVariable(u"A_ARG_TYPE_Channel"));
  EXPECT_EQ(u"A_ARG_TYPE_Channel", argument.GetRelatedStateVariable());
}

}  // namespace
