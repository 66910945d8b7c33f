<?php
// For programs that do not use Composer: require 'Quillax/autoload.php'; (Debian's
// include_path holds /usr/share/php, where the classes are installed).
spl_autoload_register(static function (string $class): void {
    if (str_starts_with($class, 'Quillax\\')) {
        $file = __DIR__ . '/' . substr($class, strlen('Quillax\\')) . '.php';
        if (is_file($file)) {
            require $file;
        }
    }
});
