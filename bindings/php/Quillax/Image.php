<?php
declare(strict_types=1);

namespace Quillax;

// An encoded image: its bytes and its MIME type ("image/png").
final class Image
{
    public function __construct(
        public readonly string $data,
        public readonly string $contentType,
    ) {
    }
}
