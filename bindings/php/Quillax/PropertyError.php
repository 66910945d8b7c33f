<?php
declare(strict_types=1);

namespace Quillax;

// A property that does not exist, or a value that does not convert to its type.
class PropertyError extends \InvalidArgumentException
{
}
