<?php
declare(strict_types=1);

namespace Quillax;

// The image carries an error: $result is the failed step (1 to 4; negative when no image was
// made), the message the component's, $image the error image (or null).
class BarcodeError extends \RuntimeException
{
    public function __construct(
        public readonly int $result,
        string $message,
        public readonly ?Image $image = null,
    ) {
        parent::__construct($message, $result);
    }
}
