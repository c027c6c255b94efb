#pragma once

namespace demo_server {

class PackageServer {};

}  // namespace demo_server
