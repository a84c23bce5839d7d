// What the user is told when a drop is not archived.
#pragma once

#include <string>

#include "job/request_problem.h"

// The message for one of RunZip's own failures; nullptr for the engine's
// status, which the engine has already reported in its own output.
const wchar_t* RunZipMessage(int result);

// The message for a drop that cannot become a request, naming the path.
std::wstring ProblemMessage(const RequestProblem& problem);
