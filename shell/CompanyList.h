#pragma once

#include <vector>

#include "AgentProfile.h"

class QComboBox;

// Lists the clients in a main window's company box (the filer's and the approvals program's):
// "Select a Company..." first, then "VRN : name" for each client in the profile's order, with the
// first row current.
void FillCompanyList(QComboBox& companies, const std::vector<ClientRecord>& clients);
