#include "model/service_tables.h"

void ResolveStateVariables(const ActionTable& actions, const DataTypeTable& dataTypes) noexcept {
  for (const auto& action : actions) {
    if (!action.second) continue;
    for (const CUPnPArgumentList* list : {&action.second->GetInArguments(), &action.second->GetOutArguments()}) {
      for (const CUPnPArgumentList::Entry& entry : *list) {
        if (!entry.second) continue;
        const auto found = dataTypes.find(entry.second->GetRelatedStateVariable());
        entry.second->SetVariable(found == dataTypes.end() ? nullptr : &found->second);
      }
    }
  }
}
