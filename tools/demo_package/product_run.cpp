#include <iostream>

#include "demo_package/runs.h"

namespace demo_package {

int runProduct() {
    std::cout << "Brivano 照片编辑器 (BrivanoPhotoEditor) 1.0.0 演示版\n"
                 "Brivano Photo Editor 1.0.0, demo build: installed and running.\n";
    return 0;
}

}  // namespace demo_package
