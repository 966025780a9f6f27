#pragma once

// How a test's slave answers the master's fence (diagnostics "return query data").
enum class TFenceAnswer { Echo, Exception, Silent };
