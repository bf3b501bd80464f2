-- Runs once when the playground's map is read, with the level.
local camera = GetCamera()
if camera then
    camera:SetPosition(480, -272)
end
print("Playground loaded")
