#pragma once
// Icon group of the product, shared by both builds.
#define QV_IDI_PRODUCT 101
