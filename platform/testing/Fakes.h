#pragma once
// Fakes of the platform services for unit tests of the core.
