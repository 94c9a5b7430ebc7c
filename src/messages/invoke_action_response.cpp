#include "messages/invoke_action_response.h"

#include <string>
#include <utility>

#include "messages/message_values.h"

namespace {
constexpr char16_t kResponseSuffix[] = u"Response";
constexpr UINT kResponseSuffixLength = sizeof(kResponseSuffix) / sizeof(kResponseSuffix[0]) - 1;
}  // namespace

// The element of a response is named after the action plus "Response".
void CInvokeActionResponse::SetNameFromElement(CComBSTR elementName) {
  const UINT length = elementName.Length();
  if (length >= kResponseSuffixLength &&
      std::char_traits<char16_t>::compare(elementName.m_str + length - kResponseSuffixLength, kResponseSuffix,
                                          kResponseSuffixLength) == 0) {
    actionName_ = CComBSTR(static_cast<int>(length - kResponseSuffixLength), elementName.m_str);
  } else {
    actionName_ = std::move(elementName);
  }
}

const CUPnPArgumentList& CInvokeActionResponse::SelectArguments(const CUPnPAction& action) const {
  return action.GetOutArguments();
}

HRESULT CInvokeActionResponse::GetArguments(VARIANT* arguments) noexcept {
  return varnel::HandOutVariantCopy(arguments_, arguments);
}
