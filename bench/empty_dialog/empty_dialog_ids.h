#pragma once
#define IDD_EMPTY 1000
